# Fails the build when the embedded player image outgrows its budget.
file(SIZE "${FILE}" size)
if(size GREATER MAX)
  message(FATAL_ERROR "${FILE} is ${size} bytes, more than the ${MAX} allowed")
endif()
message(STATUS "BassMod.DLL: ${size} bytes (budget ${MAX})")
