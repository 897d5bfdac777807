# Run by cpack after it makes the Windows zip: cpack's zip records the
# builder's user and group and the files' times, so the same folder is zipped
# again with zip -X (no owners, no extra times), its members sorted and all
# dated SOURCE_DATE_EPOCH (set by SourceDateEpoch.cmake). Zip times are local
# times, hence UTC.
find_program(ZIP_EXECUTABLE zip REQUIRED)
find_program(TOUCH_EXECUTABLE touch REQUIRED)
set(ENV{TZ} UTC)
file(GLOB_RECURSE members RELATIVE ${CPACK_TOPLEVEL_DIRECTORY} ${CPACK_TEMPORARY_DIRECTORY}/*)
list(SORT members)
execute_process(COMMAND ${TOUCH_EXECUTABLE} -d @$ENV{SOURCE_DATE_EPOCH} ${members}
  WORKING_DIRECTORY ${CPACK_TOPLEVEL_DIRECTORY} COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE ${CPACK_PACKAGE_FILES})
execute_process(COMMAND ${ZIP_EXECUTABLE} -X -q -9 ${CPACK_PACKAGE_FILES} ${members}
  WORKING_DIRECTORY ${CPACK_TOPLEVEL_DIRECTORY} COMMAND_ERROR_IS_FATAL ANY)
