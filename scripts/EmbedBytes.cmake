# Writes the bytes of INPUT as a C++ array named SYMBOL into OUTPUT:
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DSYMBOL=name -P EmbedBytes.cmake
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n  " bytes "${bytes}")
file(WRITE ${OUTPUT}
"// Generated from ${INPUT} at build time; do not edit.\n"
"#include <cstddef>\n#include <cstdint>\n\n"
"namespace kivra {\n"
"extern const uint8_t ${SYMBOL}[];\nextern const size_t ${SYMBOL}Size;\n"
"const uint8_t ${SYMBOL}[] = {\n  ${bytes}\n};\n"
"const size_t ${SYMBOL}Size = ${size};\n"
"}  // namespace kivra\n")
