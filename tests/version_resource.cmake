# Checks the version resource of ROTFILE, which Windows shows in the file's
# properties: its fixed numbers (the "File version" there) and its version
# strings are VERSION, its description DESCRIPTION and its copyright the
# copyright line of LICENSE. The file is read as hex; a string is looked for
# as the resource holds it, in UTF-16LE, ended by a zero character, after a
# key that is padded to a multiple of four bytes.
function(Utf16 strText strOutVar)
  string(HEX "${strText}" strHex)
  string(REGEX REPLACE "(..)" "\\100" strHex "${strHex}")
  set(${strOutVar} "${strHex}0000" PARENT_SCOPE)
endfunction()

file(READ ${ROTFILE} strExe HEX)
file(STRINGS ${LICENSE} strCopyright REGEX "^Copyright " LIMIT_COUNT 1)

# The fixed numbers follow the key and the structure's signature and version:
# the file's, then the product's, each MAJOR.MINOR.PATCH.0 as two
# little-endian 32-bit words, MAJOR.MINOR first.
string(REPLACE "." ";" numbers "${VERSION}")
list(GET numbers 0 nMajor)
list(GET numbers 1 nMinor)
list(GET numbers 2 nPatch)
set(strNumbers "")
foreach(n ${nMinor} ${nMajor} 0 ${nPatch})
  foreach(strByte "${n} % 256" "${n} / 256")
    math(EXPR nByte "${strByte} + 256" OUTPUT_FORMAT HEXADECIMAL)
    string(SUBSTRING "${nByte}" 3 2 strByte)
    string(APPEND strNumbers "${strByte}")
  endforeach()
endforeach()
Utf16("VS_VERSION_INFO" strKey)
if(NOT strExe MATCHES "${strKey}(0000)?bd04effe00000100${strNumbers}${strNumbers}")
  message(FATAL_ERROR "${ROTFILE}: no fixed version ${VERSION}.0")
endif()

foreach(strPair "FileVersion=${VERSION}" "ProductVersion=${VERSION}"
                "FileDescription=${DESCRIPTION}" "LegalCopyright=${strCopyright}")
  string(REGEX MATCH "^([^=]+)=(.*)$" strPair "${strPair}")
  set(strName "${CMAKE_MATCH_1}")
  set(strText "${CMAKE_MATCH_2}")
  Utf16("${strName}" strKey)
  Utf16("${strText}" strValue)
  if(NOT strExe MATCHES "${strKey}(0000)?${strValue}")
    message(FATAL_ERROR "${ROTFILE}: no ${strName} \"${strText}\" in its version")
  endif()
endforeach()
