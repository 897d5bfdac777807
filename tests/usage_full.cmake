# Runs ROTFILE (under EMULATOR) without an argument, its standard output a
# full device, and checks that the usage text that could not be written is
# a failure that standard error names.
execute_process(COMMAND ${EMULATOR} ${ROTFILE} OUTPUT_FILE /dev/full ERROR_VARIABLE strErr
                RESULT_VARIABLE nStatus)
if(NOT nStatus EQUAL 1 OR NOT strErr STREQUAL "rotfile: standard output: write error\n")
  message(FATAL_ERROR "expected status 1 and the write error; got status ${nStatus}: ${strErr}")
endif()
