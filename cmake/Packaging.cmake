# The packages: the .deb ("cpack -G DEB", the default) and the .rpm
# ("cpack -G RPM") in a build tree for Linux, the zip in one for Windows. The
# version comes from project(), so it is kept in one place.
set(CPACK_PACKAGE_NAME rotfile)
set(CPACK_PACKAGE_VENDOR "rotfile developers")
# Whoever builds and hands out a package answers for it; when this is empty,
# cpack takes the builder's DEBFULLNAME and DEBEMAIL (PackageContact.cmake).
set(ROTFILE_PACKAGE_CONTACT "" CACHE STRING
    "Who answers for the packages, 'Name <address>' (default: DEBFULLNAME <DEBEMAIL> when cpack runs)")
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
# What depends on who makes a package and when is settled only when cpack
# runs: the contact, and SOURCE_DATE_EPOCH, the date of every member, from
# the last commit, so that the same commit gives the same bytes.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/PackageSettings.cmake)

# A Windows build has no use for a .deb; a plain ZIP is what Windows opens.
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsZip.cmake)
else()
  set(CPACK_GENERATOR DEB)
  include(${CMAKE_CURRENT_LIST_DIR}/LinuxPackages.cmake)
endif()
include(CPack)

# The source release: cmake --build --preset release --target dist.
add_custom_target(dist
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DOUTPUT_DIR=${PROJECT_BINARY_DIR}
          -DNAME=${PROJECT_NAME}-${PROJECT_VERSION} -P ${CMAKE_CURRENT_LIST_DIR}/SourceTarball.cmake
  VERBATIM)
