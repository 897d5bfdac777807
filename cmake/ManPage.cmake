# The manual page, installed compressed as Unix systems keep their pages.
# gzip -n leaves the time stamp out, so that the same page always gives the
# same bytes and packages built from the same sources are identical.
find_program(GZIP_EXECUTABLE gzip REQUIRED)
set(ROTFILE_MAN_PAGE ${PROJECT_SOURCE_DIR}/doc/rotfile.1)
add_custom_command(OUTPUT rotfile.1.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${ROTFILE_MAN_PAGE} rotfile.1
  COMMAND ${GZIP_EXECUTABLE} -9nf rotfile.1
  DEPENDS ${ROTFILE_MAN_PAGE}
  VERBATIM)
add_custom_target(rotfile_man ALL DEPENDS rotfile.1.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/rotfile.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# A page that makes groff warn may render badly on some terminal, so every
# warning fails the test. Without groff the check cannot run; CI has it.
find_program(GROFF_EXECUTABLE groff)
if(BUILD_TESTING AND GROFF_EXECUTABLE)
  add_test(NAME ManPage.RendersWithoutWarnings
    COMMAND ${CMAKE_COMMAND} -DGROFF=${GROFF_EXECUTABLE} -DPAGE=${ROTFILE_MAN_PAGE}
            -P ${PROJECT_SOURCE_DIR}/cmake/CheckManPage.cmake)
  # The zip's texts, the manual's among them, made here as well: a change to
  # the page shows at once when it reads as Unix to a Windows user.
  add_test(NAME Docs.WindowsTextsSpeakToWindowsUsers
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR} -DGROFF=${GROFF_EXECUTABLE}
            -DWORK=${CMAKE_CURRENT_BINARY_DIR}/windows-texts
            -P ${PROJECT_SOURCE_DIR}/cmake/CheckWindowsTexts.cmake)
elseif(BUILD_TESTING)
  message(STATUS "groff not found: the manual page check is skipped")
endif()
