# Run by the dist target: writes NAME.tar.gz and NAME.tar.gz.sha256 into
# OUTPUT_DIR, holding the files of the last commit of SOURCE_DIR under one
# folder NAME/. git archive dates every member with the commit's time, gives
# them owner root and the listed modes, and writes the commit's time into
# cmake/source-date-epoch, from which packages built in the unpacked tree
# take their time stamps; gzip -n leaves its own time stamp out. So the same
# commit always gives the same bytes.
find_program(GIT_EXECUTABLE git)
find_program(GZIP_EXECUTABLE gzip REQUIRED)
# An empty prefix: SOURCE_DIR is the top of its own checkout, not a folder
# inside some other one.
execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-prefix
  WORKING_DIRECTORY ${SOURCE_DIR}
  RESULT_VARIABLE result OUTPUT_VARIABLE prefix OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT GIT_EXECUTABLE OR NOT result EQUAL 0 OR NOT prefix STREQUAL "")
  message(FATAL_ERROR "${SOURCE_DIR} is not a git checkout: a release is made from one")
endif()
execute_process(COMMAND ${GIT_EXECUTABLE} status --porcelain --untracked-files=no
  WORKING_DIRECTORY ${SOURCE_DIR} OUTPUT_VARIABLE changes)
if(NOT changes STREQUAL "")
  message(WARNING "Uncommitted changes are not in the tarball, which holds the last commit:\n"
                  "${changes}")
endif()

set(tarball ${OUTPUT_DIR}/${NAME}.tar.gz)
execute_process(
  COMMAND ${GIT_EXECUTABLE} -c tar.umask=0022 archive --format=tar --prefix=${NAME}/ HEAD
  COMMAND ${GZIP_EXECUTABLE} -9n
  WORKING_DIRECTORY ${SOURCE_DIR}
  OUTPUT_FILE ${tarball}.part
  COMMAND_ERROR_IS_FATAL ANY)
file(RENAME ${tarball}.part ${tarball})
file(SHA256 ${tarball} hash)
file(WRITE ${tarball}.sha256 "${hash}  ${NAME}.tar.gz\n")
message(STATUS "${tarball}\n   ${hash}")
