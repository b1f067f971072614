# Writes OUTPUT, a C++ source defining the byte array VARIABLE, 8-byte aligned, with the contents of
# the file INPUT.
# usage: cmake -DINPUT=... -DOUTPUT=... -DVARIABLE=... -P embed_binary.cmake
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}"
  "// Generated from ${INPUT} by cmake/embed_binary.cmake.\n"
  "extern const unsigned char ${VARIABLE}[];\n"
  "alignas(8) const unsigned char ${VARIABLE}[] = {\n${bytes}\n};\n")
