# The .deb and the .rpm, made from the same install rules: the command and
# its manual page. The documents each system keeps beside them are added by
# PackageDocs.cmake when cpack runs; here is what they are made from.
set(CPACK_ROTFILE_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_ROTFILE_GZIP ${GZIP_EXECUTABLE})

# The copyright file, in Debian's machine-readable format, is made from
# LICENSE, so the two cannot drift apart: the text after the copyright line
# becomes the licence paragraph, each line indented by one space and each
# blank line written as " .".
include(${CMAKE_CURRENT_LIST_DIR}/License.cmake)
string(REPLACE "\n\n" "\n.\n" ROTFILE_LICENSE_TEXT "${ROTFILE_LICENSE_TEXT}")
string(REPLACE "\n" "\n " ROTFILE_LICENSE_TEXT " ${ROTFILE_LICENSE_TEXT}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/copyright.in copyright @ONLY)
set(CPACK_ROTFILE_COPYRIGHT ${CMAKE_CURRENT_BINARY_DIR}/copyright)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The C and C++ runtime versions the binary needs are read from the binary
# itself rather than guessed here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_LICENSE MIT)
set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_RPM_CHANGELOG_FILE ${CMAKE_CURRENT_BINARY_DIR}/rpm-changelog)
set(CPACK_RPM_USER_FILELIST "%doc /usr/share/doc/rotfile/changelog"
                            "%license /usr/share/licenses/rotfile/LICENSE")
# The package owns its own folders only, not those every system has.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /usr/share/man /usr/share/man/man1
                                                  /usr/share/licenses)
set(CPACK_RPM_DEFAULT_DIR_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                      GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# strip keeps the .comment section, where every compiler that built a part
# of the binary leaves its name; a stripped install drops it too, as
# Debian's own packaging does.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/rotfile\"
      COMMAND_ERROR_IS_FATAL ANY)
  endif()")
