# What every test process sees: where the binaries are, and sanitizer options
# under which any report ends the process with an error. Child processes a
# test starts (the relay among them) inherit them.
set(VELARELAY_TEST_ENVIRONMENT
  "VELARELAY_BIN=${CMAKE_BINARY_DIR}/bin" "VELARELAY_SOURCE=${CMAKE_SOURCE_DIR}"
  "ASAN_OPTIONS=halt_on_error=1:detect_leaks=1"
  "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1"
  # Qt is not built with ThreadSanitizer: its queued-signal hand-over
  # (allocation on the sending thread, delivery on the receiving one) goes
  # through locks TSan cannot see, so only our own code is judged.
  "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:suppressions=${CMAKE_SOURCE_DIR}/tests/tsan.supp")

# velarelay_add_test(name SOURCES a.cpp b.cpp LIBS lib1 lib2 [TIMEOUT s])
# One GoogleTest executable whose cases CTest runs one by one, so `ctest -j`
# spreads them over the cores. Discovery happens when the tests run, not at
# build time.
function(velarelay_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 60)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE velarelay_test_main ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  set(env ${VELARELAY_TEST_ENVIRONMENT})
  # gtest_discover_tests hands the properties through four rounds of list
  # expansion (its own argument parsing and that of the script it writes,
  # which expands them twice more), and each round eats two backslashes.
  # Unescaped, every variable after the first one was silently dropped.
  string(REPLACE ";" "\\\\\\\\\\\\\\;" env "${env}")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    PROPERTIES TIMEOUT ${ARG_TIMEOUT}
               ENVIRONMENT "${env}")
endfunction()
