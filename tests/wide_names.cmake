# Runs ROTFILE (under EMULATOR) on names that no ANSI code page holds, which
# reach it only through the UTF-16 command line: a file is converted, and a
# missing one is named as typed, on a console (the terminal that `script`
# provides) and in UTF-8 bytes when standard error is a file.
set(strIn "日本語 😀.txt")
set(strMissing "無い ☃.txt")
file(REMOVE_RECURSE wide_names)
file(WRITE "wide_names/${strIn}" "abc")
execute_process(COMMAND ${EMULATOR} ${ROTFILE} ${strIn} WORKING_DIRECTORY wide_names
                RESULT_VARIABLE nStatus)
if(EXISTS "wide_names/日本語 😀.qzv")
  file(READ "wide_names/日本語 😀.qzv" strOut)
endif()
if(NOT nStatus EQUAL 0 OR NOT strOut STREQUAL "234")
  message(FATAL_ERROR "converting '${strIn}': status ${nStatus}, output '${strOut}'")
endif()

execute_process(COMMAND ${EMULATOR} ${ROTFILE} ${strMissing} WORKING_DIRECTORY wide_names
                ERROR_VARIABLE strRedirected)
execute_process(COMMAND script -qec "${EMULATOR} ${ROTFILE} '${strMissing}'" /dev/null
                WORKING_DIRECTORY wide_names OUTPUT_VARIABLE strConsole)
foreach(strWhere Redirected Console)
  string(FIND "${str${strWhere}}" "rotfile: ${strMissing}: " nAt)
  if(nAt EQUAL -1)
    message(FATAL_ERROR "${strWhere}, the missing file is not named as typed: ${str${strWhere}}")
  endif()
endforeach()
