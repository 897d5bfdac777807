# Run as a test from the source tree SOURCE: the version stands in
# CMakeLists.txt (VERSION), in CHANGELOG.md's latest section, and in README.md
# and the manual page, which are written by hand; every version number in
# those two must be VERSION. README.md stays short enough to read at once.
file(STRINGS ${SOURCE}/CHANGELOG.md latest REGEX "^## " LIMIT_COUNT 1)
if(NOT latest MATCHES "^## ${VERSION} \\(")
  message(FATAL_ERROR "CHANGELOG.md: the latest section is not ${VERSION}:\n${latest}")
endif()
foreach(doc README.md doc/rotfile.1)
  file(READ ${SOURCE}/${doc} text)
  string(REGEX MATCHALL "[0-9]+\\.[0-9]+\\.[0-9]+" versions "${text}")
  list(REMOVE_DUPLICATES versions)
  if(NOT versions STREQUAL VERSION)
    message(FATAL_ERROR "${doc} names the versions \"${versions}\"; it should name ${VERSION} only")
  endif()
endforeach()
file(SIZE ${SOURCE}/README.md size)
if(size GREATER 6144)
  message(FATAL_ERROR "README.md has ${size} bytes, more than 6 KiB: it is for users only, "
                      "and links to the manual page and CONTRIBUTING.md for the rest")
endif()
