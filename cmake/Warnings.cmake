# One warning policy for every target of the project.
add_library(ostinel_warnings INTERFACE)
target_compile_options(ostinel_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
  -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
if(OSTINEL_WERROR)
  target_compile_options(ostinel_warnings INTERFACE -Werror)
endif()
