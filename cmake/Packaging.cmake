# The Debian package, made by "cpack -G DEB" in a build tree. The version
# comes from project(), so it is kept in one place.
set(CPACK_PACKAGE_NAME rotfile)
set(CPACK_PACKAGE_VENDOR "rotfile developers")
# Whoever builds and hands out the package answers for it: its Maintainer
# field, and the signature of each entry of its changelog, where users are
# told to report bugs. rotfile has no public address of its own, so the
# default is a placeholder that a distributor replaces.
set(ROTFILE_PACKAGE_CONTACT "rotfile developers <rotfile@example.org>"
    CACHE STRING "The Debian package's Maintainer: the name and address of who distributes it")
set(CPACK_PACKAGE_CONTACT "${ROTFILE_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Lines of the long description are kept short, as Debian tools show them.
# What rotfile guarantees is told in one place, the manual page, to which
# the description points.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "rotfile encrypts a plain text file into a .qzv file and decrypts a .qzv"
  "file into a ._zv file by rotating the printable character codes. It"
  "hides text from a casual glance only: there is no key. The command takes"
  "one file name and no options, and puts its output in place only once it"
  "is complete; on Linux, on most local file systems, even a killed run"
  "leaves no partial file. The manual page rotfile(1) says exactly what it"
  "guarantees, and where.")
# Users install the command, not its symbol table.
set(CPACK_STRIP_FILES ON)
# The same commit gives the same package bytes: cpack dates every member
# SOURCE_DATE_EPOCH, which this file sets from the last commit.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/SourceDateEpoch.cmake)

# A Windows build has no use for a .deb; a plain ZIP is what Windows opens.
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsZip.cmake)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/ReproducibleDeb.cmake)
  include(${CMAKE_CURRENT_LIST_DIR}/DebianDocs.cmake)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The C and C++ runtime versions the binary needs are read from the binary
# itself rather than guessed here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)

# The source release: cmake --build --preset release --target dist.
add_custom_target(dist
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DOUTPUT_DIR=${PROJECT_BINARY_DIR}
          -DNAME=${PROJECT_NAME}-${PROJECT_VERSION} -P ${CMAKE_CURRENT_LIST_DIR}/SourceTarball.cmake
  VERBATIM)
