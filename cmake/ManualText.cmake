# Renders the manual page PAGE as plain text into TEXT with GROFF, as the
# Windows zip carries it: what only POSIX systems do left out (the page's
# windows register), every line ended by CR LF. -Tascii with grotty's -cbou
# gives plain characters: no escape sequences, no overstruck bold or
# underline.
execute_process(COMMAND ${GROFF} -man -Tascii -P-cbou -rwindows=1 ${PAGE}
  OUTPUT_VARIABLE text
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${GROFF} could not render ${PAGE} (exit ${result})")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${TEXT} "${text}")
