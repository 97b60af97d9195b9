# The checked build: every target of the project (plug-in, simulated host,
# command and tests) with the sanitizers named in OSTINEL_SANITIZE, for
# example "address,undefined". Any finding stops the program that made it.
set(OSTINEL_SANITIZE "" CACHE STRING "Sanitizers to build with (for example address,undefined)")
if(OSTINEL_SANITIZE)
  # The dynamic type check is left out: it needs the type information of the
  # plug-in's classes, which stays hidden inside the loaded module.
  add_compile_options(-fsanitize=${OSTINEL_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  if(OSTINEL_SANITIZE MATCHES "undefined")
    add_compile_options(-fno-sanitize=vptr)
  endif()
  add_link_options(-fsanitize=${OSTINEL_SANITIZE})
endif()

# The fuzz build (clang): every object carries libFuzzer's coverage hooks; the
# fuzz targets alone link its driver.
option(OSTINEL_FUZZ "Build the fuzz targets as libFuzzer programs (clang)" OFF)
if(OSTINEL_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
