# Run as a test: groff exits 0 even when it warns, so its standard error is
# what decides. The page is checked as man shows it and as the Windows zip
# carries it (ManualText.cmake).
foreach(windows 0 1)
  execute_process(COMMAND ${GROFF} -man -ww -z -rwindows=${windows} ${PAGE}
    RESULT_VARIABLE result
    ERROR_VARIABLE errors)
  if(NOT result EQUAL 0 OR NOT errors STREQUAL "")
    message(FATAL_ERROR "groff -man -ww -z -rwindows=${windows} ${PAGE} (exit ${result}):\n${errors}")
  endif()
endforeach()
