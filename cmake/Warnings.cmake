# Every target of the project gets the same warning set through this interface library.
add_library(kv_warnings INTERFACE)
target_compile_options(kv_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
  -Wcast-align -Wunused -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)
if(KELVADORE_WERROR)
  target_compile_options(kv_warnings INTERFACE -Werror)
endif()
