# Run as a test: groff exits 0 even when it warns, so its standard error is
# what decides.
execute_process(COMMAND ${GROFF} -man -ww -z ${PAGE}
  RESULT_VARIABLE result
  ERROR_VARIABLE errors)
if(NOT result EQUAL 0 OR NOT errors STREQUAL "")
  message(FATAL_ERROR "groff -man -ww -z ${PAGE} (exit ${result}):\n${errors}")
endif()
