# Every target of ours compiles with the same strict warnings; a warning is an error.
add_library(zorvan_warnings INTERFACE)
target_compile_options(zorvan_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Werror
  -Wshadow -Wconversion -Wno-sign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wnull-dereference
  -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)

# Helper: a static library of ours, with the warnings and the repository root as include base.
function(zorvan_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE zorvan_warnings)
endfunction()
