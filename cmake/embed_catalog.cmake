# Writes the bytes of a compiled catalog into a C++ source:
#   cmake -DINPUT=zh_CN.mo -DOUTPUT=catalog_zh_CN.cpp -P embed_catalog.cmake
file(READ ${INPUT} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " body "${body}")
file(WRITE ${OUTPUT}
  "// Made by the build from po/zh_CN.po; not to be edited.\n"
  "#include \"app/translation.hpp\"\n\n"
  "namespace txconv {\n\n"
  "// Aligned for the reads of its 32-bit words.\n"
  "alignas(4) const unsigned char CHINESE_CATALOG[] = {\n    ${body}\n};\n"
  "\n"
  "} // namespace txconv\n")
