if(MINGW AND CMAKE_CROSSCOMPILING)
  # No MinGW package of GoogleTest: it is built from the sources libgtest-dev ships, with the same
  # toolchain, and gives the same GTest:: targets.
  set(VANTRELS_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows tests")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${VANTRELS_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# vantrels_add_test(NAME SOURCES a.cpp b.cpp LIBS x y)
function(vantrels_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(WIN32)
    target_link_libraries(${name} PRIVATE ws2_32)  # the test peer's socket
  endif()
  if(MINGW)
    # MinGW's GCC 12 at -O3 reports overlaps that can't happen in inlined std::string concatenation
    # (GCC bug 105329), which the tests use freely.
    target_compile_options(${name} PRIVATE -Wno-restrict)
  endif()
  target_compile_definitions(${name} PRIVATE
    VANTRELS_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VANTRELS_DRIVER_DIR="${VANTRELS_DRIVER_DIR}"
    VANTRELS_TOOLS_DIR="${VANTRELS_TOOLS_DIR}")
  vantrels_project_flags(${name})
  if(CMAKE_CROSSCOMPILING)
    # One run of the whole program through the emulator (Wine): starting it once per test case
    # would cost about ten times as long.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  endif()
endfunction()

# The Python that has pytest: Debian's python3-pytest (scripts/setup test) belongs to /usr/bin/python3,
# which need not be the python3 found first on the PATH.
set(VANTRELS_PYTEST_PYTHON "")
if(NOT WIN32 OR CMAKE_CROSSCOMPILING)  # a cross build's tests run on this machine's Python too
  find_program(VANTRELS_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
  find_program(VANTRELS_PATH_PYTHON python3)
  foreach(python IN ITEMS ${VANTRELS_SYSTEM_PYTHON} ${VANTRELS_PATH_PYTHON})
    execute_process(COMMAND ${python} -c "import pytest" RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
    if(status EQUAL 0)
      set(VANTRELS_PYTEST_PYTHON ${python})
      break()
    endif()
  endforeach()
endif()

# vantrels_add_pytest(NAME FILE [ARGS pytest arguments...] [ENVIRONMENT VAR=VALUE...]): one pytest file
# as one test, which sees the built tools and driver (VANTRELS_TOOLS_DIR, VANTRELS_DRIVER_DIR) and can
# import tests/*.py. CTest tells the outcomes apart
# by the exit status alone, which tests/ctest_pytest.py sets: skipped (77) only when every test of
# the file was skipped for a missing tool, through `from ctest_pytest import missing` and
# `missing("tshark (scripts/setup test installs it)")`; failed on any failure or error, and when
# every test was skipped but not all for a missing tool (nothing was checked); passed when some ran,
# the skips listed. With VANTRELS_NO_SKIPS=1 (CI, which installs every tool) missing() fails.
function(vantrels_add_pytest name file)
  cmake_parse_arguments(P "" "" "ARGS;ENVIRONMENT" ${ARGN})
  if(VANTRELS_PYTEST_PYTHON)
    add_test(NAME ${name}
      COMMAND ${VANTRELS_PYTEST_PYTHON} -m pytest -q -rs -p no:cacheprovider -p ctest_pytest ${P_ARGS} ${file})
  else()
    add_test(NAME ${name} COMMAND sh -c
      "echo 'missing tool: pytest (scripts/setup test installs it)'; [ \"$VANTRELS_NO_SKIPS\" != 1 ] || exit 1; exit 77")
  endif()
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "VANTRELS_TOOLS_DIR=${VANTRELS_TOOLS_DIR};VANTRELS_DRIVER_DIR=${VANTRELS_DRIVER_DIR};PYTHONPATH=${CMAKE_SOURCE_DIR}/tests;PYTHONDONTWRITEBYTECODE=1;${P_ENVIRONMENT}"
    SKIP_RETURN_CODE 77
    TIMEOUT 300)
endfunction()
