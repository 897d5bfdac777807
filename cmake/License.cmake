# The copyright line and the licence text, read from LICENSE so that what
# quotes them cannot drift from it: ROTFILE_COPYRIGHT is what follows
# "Copyright (c) " on the copyright line ("2026 The rotfile authors"),
# ROTFILE_LICENSE_TEXT the text after that line, its ends stripped. The
# Debian copyright file and the Windows version resource are made from them.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
if(NOT license MATCHES "Copyright \\(c\\) ([^\n]+)\n\n(.+)$")
  message(FATAL_ERROR "LICENSE: no \"Copyright (c)\" line followed by the licence text")
endif()
set(ROTFILE_COPYRIGHT "${CMAKE_MATCH_1}")
string(STRIP "${CMAKE_MATCH_2}" ROTFILE_LICENSE_TEXT)
# A change to LICENSE configures the build again, so they follow it.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
