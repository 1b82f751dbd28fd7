# Script mode: writes OUT, a C++ source holding the bytes of IN as the array SYMBOL.
file(READ "${IN}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
# Sixteen bytes to a line keeps the generated file readable and the compiler's lines short.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
if(size EQUAL 0)
    # A zero-length array is not C++; the size still says 0.
    set(bytes "0x00")
endif()
file(WRITE "${OUT}"
"// Generated from ${IN}; do not edit.\n#include <cstddef>\nnamespace orvexa::embedded {\nextern const unsigned char ${SYMBOL}[] = {\n${bytes}\n};\nextern const std::size_t ${SYMBOL}Size = ${size};\n}\n")
