# Sanitizers apply to the whole build, so the relay, the hub library, the tools
# and the tests are all instrumented alike.
if(VELARELAY_SANITIZE)
  list(JOIN VELARELAY_SANITIZE "," _velarelay_san)
  add_compile_options(-fsanitize=${_velarelay_san} -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=${_velarelay_san})
  if("undefined" IN_LIST VELARELAY_SANITIZE)
    # A report must fail the run, not scroll by.
    add_compile_options(-fno-sanitize-recover=all)
  endif()
endif()

# Line coverage of everything the suite runs, read by gcovr (make coverage).
option(VELARELAY_COVERAGE "Instrument the build for line coverage" OFF)
if(VELARELAY_COVERAGE)
  # The relay counts lines on several threads at once; plain counters lose
  # increments there and come out corrupted, and the figure drifts per run.
  add_compile_options(--coverage -fprofile-update=atomic -O0 -g)
  add_link_options(--coverage)
endif()
