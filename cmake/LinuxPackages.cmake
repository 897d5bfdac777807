# What Debian expects beside every command it installs: the licence in the
# machine-readable copyright format and the changelog, compressed.

# The copyright file is made from LICENSE, so the two cannot drift apart:
# the text after the copyright line becomes the licence paragraph, each line
# indented by one space and each blank line written as " .".
include(${CMAKE_CURRENT_LIST_DIR}/License.cmake)
string(REPLACE "\n\n" "\n.\n" ROTFILE_LICENSE_TEXT "${ROTFILE_LICENSE_TEXT}")
string(REPLACE "\n" "\n " ROTFILE_LICENSE_TEXT " ${ROTFILE_LICENSE_TEXT}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/copyright.in copyright @ONLY)

# The changelog is made from CHANGELOG.md, in Debian's format; gzip -n leaves
# the time stamp out, as for the manual page.
add_custom_command(OUTPUT changelog.gz
  COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/CHANGELOG.md -DOUT=changelog -DFOR=debian
          -DMAINTAINER=${CPACK_PACKAGE_CONTACT} -P ${CMAKE_CURRENT_LIST_DIR}/Changelog.cmake
  COMMAND ${GZIP_EXECUTABLE} -9nf changelog
  DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${CMAKE_CURRENT_LIST_DIR}/Changelog.cmake
  VERBATIM)
add_custom_target(rotfile_changelog ALL DEPENDS changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# strip keeps the .comment section, where every compiler that built a part
# of the binary leaves its name; a stripped install drops it too, as
# Debian's own packaging does.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/rotfile\"
      COMMAND_ERROR_IS_FATAL ANY)
  endif()")
