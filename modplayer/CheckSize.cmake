# Fails the build when the embedded player image outgrows its budget. A
# sanitizer build only warns: its instrumented code is expected to be larger
# and is never shipped.
file(SIZE "${FILE}" size)
if(size GREATER MAX)
  if(SANITIZE)
    message(WARNING "${FILE} is ${size} bytes, more than the ${MAX} a release allows (sanitizer build)")
  else()
    file(REMOVE "${FILE}")
    message(FATAL_ERROR "${FILE} is ${size} bytes, more than the ${MAX} allowed")
  endif()
else()
  message(STATUS "BassMod.DLL: ${size} bytes (budget ${MAX})")
endif()
