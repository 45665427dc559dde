# Every target of ours links this to get the same warnings.
add_library(velarelay_warnings INTERFACE)
target_compile_options(velarelay_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
  -Woverloaded-virtual -Wnull-dereference -Wformat=2 -Wimplicit-fallthrough)
if(VELARELAY_WERROR)
  target_compile_options(velarelay_warnings INTERFACE -Werror)
endif()
