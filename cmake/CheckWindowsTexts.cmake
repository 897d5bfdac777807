# Fails when a text of the Windows zip holds what only a Linux or macOS user
# could follow: a Unix command, path or signal, a manual page's headings and
# examples, or a change for other processors than the zip's x86-64.
#
# Run with DIR, it checks the *.txt files of an unpacked zip (.ci/zip-check).
# Run as a test with SOURCE, GROFF and WORK, it first makes in WORK, as the
# zip's build does, the two texts that are made from the Unix pages, the
# manual's and the changelog's, and checks them and the Windows README.
if(DEFINED SOURCE)
  file(MAKE_DIRECTORY ${WORK})
  execute_process(COMMAND ${CMAKE_COMMAND} -DGROFF=${GROFF} -DPAGE=${SOURCE}/doc/rotfile.1
                          -DTEXT=${WORK}/rotfile.txt -P ${SOURCE}/cmake/ManualText.cmake
                  COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${CMAKE_COMMAND} -DIN=${SOURCE}/CHANGELOG.md -DOUT=${WORK}/CHANGELOG.txt
                          -DFOR=windows -P ${SOURCE}/cmake/Changelog.cmake
                  COMMAND_ERROR_IS_FATAL ANY)
  set(texts ${WORK}/rotfile.txt ${WORK}/CHANGELOG.txt ${SOURCE}/doc/README-windows.txt.in)
else()
  file(GLOB texts ${DIR}/*.txt)
endif()

set(unix "sudo|apt-get|dpkg|man page|cmake|O_PATH|O_SEARCH|SIG[A-Z]+|nohup|umask|fsync|printf")
string(APPEND unix "|On Linux|User Commands|\\.profile|terminal|shell")
string(APPEND unix "|/tmp|/usr|/proc|tr\\([0-9]\\)|cp\\([0-9]\\)|rotfile\\([0-9]\\)|ROTFILE\\([0-9]\\)")
string(APPEND unix "|ARM|ARM64|NEON|IBM Z|aarch64|s390x|`")
set(found "")
foreach(text IN LISTS texts)
  file(STRINGS ${text} lines)
  foreach(line IN LISTS lines)
    get_filename_component(name ${text} NAME)
    if(line MATCHES "(^|[^A-Za-z0-9_])(${unix})([^A-Za-z0-9_]|$)")
      string(APPEND found "\n${name}: ${CMAKE_MATCH_2}: ${line}")
    elseif(line MATCHES "^(NAME|SYNOPSIS|DIAGNOSTICS|CAVEATS|SEE ALSO|EXIT STATUS)\r?$")
      string(APPEND found "\n${name}: a manual page's heading: ${line}")
    endif()
  endforeach()
endforeach()
if(NOT texts)
  message(FATAL_ERROR "no Windows text to check")
elseif(found)
  message(FATAL_ERROR "these lines of the Windows texts are for Linux and macOS users:${found}")
endif()
