find_package(GTest REQUIRED)
include(GoogleTest)

# vantrels_add_test(NAME SOURCES a.cpp b.cpp LIBS x y)
function(vantrels_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    VANTRELS_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VANTRELS_DRIVER_DIR="${VANTRELS_DRIVER_DIR}"
    VANTRELS_TOOLS_DIR="${VANTRELS_TOOLS_DIR}")
  vantrels_project_flags(${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
