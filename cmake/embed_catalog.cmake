# Writes the bytes of a compiled catalog into a C++ source:
#   cmake -DINPUT=zh_CN.mo -DOUTPUT=catalog_zh_CN.cpp -P embed_catalog.cmake
# The program reads the catalog as it is, so it is checked here, once: the
# little-endian magic number, a revision whose major number is 0, and both
# tables and every text (with the NUL behind it) within the file. A catalog
# that fails stops the build rather than leave the program reading past it.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")

# The little-endian 32-bit word at byte offset at, in var; -1 past the end.
function(catalog_word at var)
  math(EXPR from "(${at}) * 2")
  math(EXPR end "${from} + 8")
  set(value -1)
  if(end LESS_EQUAL digits)
    string(SUBSTRING "${hex}" ${from} 8 word)
    string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" word "${word}")
    math(EXPR value "0x${word}")
  endif()
  set(${var} ${value} PARENT_SCOPE)
endfunction()

catalog_word(0 magic)
catalog_word(4 revision)
catalog_word(8 count)
catalog_word(12 originals)
catalog_word(16 translations)
if(NOT magic EQUAL 2500072158 OR revision LESS 0 OR revision GREATER_EQUAL 65536 OR count LESS 1
   OR originals LESS 0 OR translations LESS 0)
  message(FATAL_ERROR "${INPUT}: not a little-endian catalog of revision 0.x with messages")
endif()
math(EXPR last "${count} - 1")
foreach(table ${originals} ${translations})
  math(EXPR end "${table} + 8 * ${count}")
  if(end GREATER size)
    message(FATAL_ERROR "${INPUT}: its table at ${table} of ${count} messages reaches past its end")
  endif()
  foreach(i RANGE ${last})
    math(EXPR entry "${table} + 8 * ${i}")
    catalog_word(${entry} length)
    catalog_word(${entry}+4 offset)
    math(EXPR end "${offset} + ${length}")
    if(length LESS 0 OR offset LESS 0 OR end GREATER_EQUAL size)
      message(FATAL_ERROR "${INPUT}: message ${i} of the table at ${table} lies outside the catalog")
    endif()
  endforeach()
endforeach()

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
