# Read by cpack before it makes a package: every time stamp in a package is
# the time of the last commit, so that builds of one commit give the same
# bytes whatever the clock. An exported SOURCE_DATE_EPOCH wins; in a release
# tarball, git archive has written the time into source-date-epoch beside
# this file; in a git checkout, git is asked.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/source-date-epoch epoch LIMIT_COUNT 1)
  if(NOT epoch MATCHES "^[0-9]+$")
    execute_process(COMMAND git log -1 --format=%ct
      WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR}
      OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "The time of the last commit is unknown (no git checkout, no release "
                        "tarball): export SOURCE_DATE_EPOCH, in seconds since 1970.")
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()
