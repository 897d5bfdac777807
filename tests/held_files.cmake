# Converts a file of 40 MiB under HOLDER (under EMULATOR), which opens the
# temporary file as virus scanners and indexers do, and holds the earlier
# output: in three runs until the new one is written, which then replaces it;
# in a fourth throughout, which keeps it and fails the run on its name alone.
# No run leaves a temporary file, however the programs are timed.
string(REPEAT "abc\n" 1024 strKiB)
string(REPEAT "${strKiB}" 10240 strIn)
string(REPLACE "abc" "234" strOut "${strKiB}")
string(REPEAT "${strOut}" 10240 strOut)
file(REMOVE_RECURSE held_files)
file(WRITE held_files/y.txt "${strIn}")
foreach(strOld IN ITEMS new new new kept)
  if(strOld STREQUAL "new")
    file(WRITE held_files/y.qzv "${strIn}")
    string(SHA256 strWanted "${strOut}")
    set(nWantedStatus 0)
    set(strWantedMessage "^$")
  else()
    file(WRITE held_files/y.qzv "${strOld}")
    string(SHA256 strWanted "${strOld}")
    set(nWantedStatus 1)
    set(strWantedMessage "^rotfile: y.qzv: [^(]+$")
  endif()
  execute_process(COMMAND ${EMULATOR} ${HOLDER} y.qzv ${ROTFILE} y.txt
                  WORKING_DIRECTORY held_files RESULT_VARIABLE nStatus ERROR_VARIABLE strError)
  file(SHA256 held_files/y.qzv strGot)
  string(REGEX MATCH "rotfile: [^\n]*" strMessage "${strError}")
  file(GLOB leftovers held_files/.rotfile-*)
  if(NOT nStatus EQUAL nWantedStatus OR NOT strMessage MATCHES "${strWantedMessage}"
     OR NOT strGot STREQUAL strWanted OR leftovers)
    message(FATAL_ERROR "old output ${strOld}: status ${nStatus}, ${strError}, left: ${leftovers}")
  endif()
endforeach()
