# Writes OUTPUT, a C++ source defining the string VARIABLE with the text of INPUT, its
# `#include "path"` lines replaced by the files they name (paths from ROOT), so that an OpenCL
# device can build it at run time without the source tree.
file(READ "${INPUT}" text)
foreach(round RANGE 8)
  string(REGEX MATCHALL "#include \"[^\"]+\"" includes "${text}")
  if(NOT includes)
    break()
  endif()
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "#include \"([^\"]+)\"" "\\1" path "${line}")
    file(READ "${ROOT}/${path}" included)
    string(REPLACE "${line}" "${included}" text "${text}")
  endforeach()
endforeach()
string(FIND "${text}" ")vantreo_cl\"" delimiter_at)
if(NOT delimiter_at EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the string literal's closing delimiter")
endif()
file(WRITE "${OUTPUT}"
  "// Generated from ${INPUT} by cmake/embed_opencl_source.cmake.\n"
  "extern const char ${VARIABLE}[];\n"
  "const char ${VARIABLE}[] = R\"vantreo_cl(${text})vantreo_cl\";\n")
