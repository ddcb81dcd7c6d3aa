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
