# Runs ROTFILE (under EMULATOR) without an argument and checks that the usage
# text reached standard output with CR LF line ends, as Windows text mode
# writes them. The bytes are read as hex: execute_process and file(READ)
# would both drop the CRs on their own. The text is ASCII, so the hex pairs
# cannot match out of step.
execute_process(COMMAND ${EMULATOR} ${ROTFILE} OUTPUT_FILE usage.out RESULT_VARIABLE nStatus)
file(READ usage.out strHex HEX)
string(REGEX MATCHALL "0d0a" crLfs "${strHex}")
string(REGEX MATCHALL "0a" lineFeeds "${strHex}")
list(LENGTH crLfs nCrLf)
list(LENGTH lineFeeds nLineFeed)
if(NOT nStatus EQUAL 0 OR NOT nCrLf EQUAL 11 OR NOT nLineFeed EQUAL 11)
  message(FATAL_ERROR "expected status 0 and 11 lines ended by CR LF; got status ${nStatus}, "
                      "${nCrLf} CR LF, ${nLineFeed} LF: ${strHex}")
endif()
