# Run as a test: groff exits 0 even when it warns, so its standard error is
# what decides. The page is checked as man renders it, with no register set,
# and as the Windows zip carries it (ManualText.cmake).
foreach(registers "" -rwindows=1)
  execute_process(COMMAND ${GROFF} -man -ww -z ${registers} ${PAGE}
    RESULT_VARIABLE result
    ERROR_VARIABLE errors)
  if(NOT result EQUAL 0 OR NOT errors STREQUAL "")
    message(FATAL_ERROR "groff -man -ww -z ${registers} ${PAGE} (exit ${result}):\n${errors}")
  endif()
endforeach()
