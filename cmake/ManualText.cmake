# Renders the manual page PAGE as plain text into TEXT with GROFF.
execute_process(COMMAND ${GROFF} -man -Tascii -P-cbou ${PAGE}
  OUTPUT_FILE ${TEXT}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${GROFF} could not render ${PAGE} (exit ${result})")
endif()
