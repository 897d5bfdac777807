# Run by cpack once it has installed the files into its staging folder and
# before it packs them: the documents that a package of each system carries
# beside the command. They are made now, not at build time, because the
# changelog is signed by whoever makes the package (PackageContact.cmake).
# Debian keeps the licence in its copyright file and a compressed changelog
# in Debian's format; rpm keeps the licence under /usr/share/licenses and
# the changelog in the package itself, with a plain copy among the
# documents. Each file gets the mode that the install rules give, whatever
# the umask.
set(root ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(docs ${root}/share/doc/rotfile)
set(written)
# Writes the changelog for FOR into OUT, signed by the package's contact.
function(write_changelog FOR OUT)
  set(IN ${CPACK_ROTFILE_SOURCE_DIR}/CHANGELOG.md)
  set(MAINTAINER "${CPACK_PACKAGE_CONTACT}")
  include(${CPACK_ROTFILE_SOURCE_DIR}/cmake/Changelog.cmake)
endfunction()
if(CPACK_GENERATOR STREQUAL "DEB")
  write_changelog(debian ${docs}/changelog)
  execute_process(COMMAND ${CPACK_ROTFILE_GZIP} -9nf ${docs}/changelog COMMAND_ERROR_IS_FATAL ANY)
  file(COPY ${CPACK_ROTFILE_COPYRIGHT} DESTINATION ${docs})
  list(APPEND written ${docs}/changelog.gz ${docs}/copyright)
else()
  write_changelog(rpm ${CPACK_RPM_CHANGELOG_FILE})
  write_changelog(linux ${docs}/changelog)
  file(COPY ${CPACK_ROTFILE_SOURCE_DIR}/LICENSE DESTINATION ${root}/share/licenses/rotfile)
  list(APPEND written ${docs}/changelog ${root}/share/licenses/rotfile/LICENSE)
endif()
file(CHMOD ${written} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# Every member is dated SOURCE_DATE_EPOCH: rpm lowers later dates to it but
# keeps earlier ones, which are those of the checkout the sources came from.
find_program(TOUCH_EXECUTABLE touch REQUIRED)
file(GLOB_RECURSE members LIST_DIRECTORIES true ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*)
execute_process(COMMAND ${TOUCH_EXECUTABLE} -h -d @$ENV{SOURCE_DATE_EPOCH} ${members}
  COMMAND_ERROR_IS_FATAL ANY)
