# Writes one data block as a C++ byte array (run by the build, see embed.cmake).
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REPEAT "00" 64 padding)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}${padding}")
string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT} "// Generated from ${INPUT}; do not edit.\nextern const unsigned char ${SYMBOL}[];\nextern const unsigned long ${SYMBOL}_size;\nalignas(16) const unsigned char ${SYMBOL}[] = {\n${bytes}\n};\nconst unsigned long ${SYMBOL}_size = ${size};\n")
