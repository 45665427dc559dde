# velarelay_add_test(name SOURCES a.cpp b.cpp LIBS lib1 lib2 [TIMEOUT s])
# One GoogleTest executable whose cases CTest runs one by one, so `ctest -j`
# spreads them over the cores. Discovery happens when the tests run, not at
# build time.
#
# Paths reach the tests as compile definitions (VELARELAY_BIN_DIR,
# VELARELAY_SOURCE_DIR): gtest_discover_tests flattens a list of environment
# settings, so only one variable, VELARELAY_BIN, is passed that way. The
# sanitizer options come from the Makefile's environment, which every process
# a test starts inherits.
function(velarelay_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 60)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE velarelay_test_main ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    PROPERTIES TIMEOUT ${ARG_TIMEOUT}
               ENVIRONMENT "VELARELAY_BIN=${CMAKE_BINARY_DIR}/bin")
endfunction()
