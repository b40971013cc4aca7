# cmake -DIN=file -DOUT=header -DNAME=SYMBOL -P embed_file.cmake: the file's
# bytes as an array in a header, so a DLL carries it without a resource.
file(READ ${IN} bytes HEX)
string(LENGTH "${bytes}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," array "${bytes}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n" array "${array}")
file(WRITE ${OUT}.tmp "// Generated from ${IN}; do not edit.\n#pragma once\n#include <cstddef>\n"
     "static const unsigned char ${NAME}[] = {\n${array}\n};\nconstexpr size_t ${NAME}_SIZE = ${size};\n")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
