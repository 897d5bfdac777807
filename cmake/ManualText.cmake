# Renders the manual page PAGE as plain text into TEXT with GROFF, as the
# Windows zip carries it: what only POSIX systems do left out (the page's
# windows register), every line ended by CR LF. -Tascii with grotty's -cbou
# gives plain characters: no escape sequences, no overstruck bold or
# underline. The running header and footer of a manual page, which name it
# ROTFILE(1), are a Unix reader's, and so is its NAME section, the line that
# man's index shows: the text begins with one line that names the version
# and date instead, and then the usage.
execute_process(COMMAND ${GROFF} -man -Tascii -P-cbou -rwindows=1 ${PAGE}
  OUTPUT_VARIABLE text
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${GROFF} could not render ${PAGE} (exit ${result})")
endif()
if(NOT text MATCHES "^ROTFILE\\(1\\)[^\n]*\n\n*NAME\n[^\n]+\n\n+(.*[^\n])\n+(rotfile [^ ]+) +([0-9-]+) +ROTFILE\\(1\\)\n*$")
  message(FATAL_ERROR "${PAGE}: no header, NAME line and footer as a manual page has them")
endif()
set(text "${CMAKE_MATCH_2} (${CMAKE_MATCH_3})\n\n${CMAKE_MATCH_1}\n")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${TEXT} "${text}")
