# The Windows zip: rotfile.exe with the README, the licence and the manual
# page rendered as plain text, all at the top of one folder, since Windows
# has no man command.
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win64)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/ReproducibleZip.cmake)

# -Tascii with grotty's -cbou gives plain characters: no escape sequences,
# no overstruck bold or underline.
find_program(GROFF_EXECUTABLE groff REQUIRED)
set(ROTFILE_MAN_PAGE ${PROJECT_SOURCE_DIR}/doc/rotfile.1)
add_custom_command(OUTPUT rotfile.txt
  COMMAND ${CMAKE_COMMAND} -DGROFF=${GROFF_EXECUTABLE} -DPAGE=${ROTFILE_MAN_PAGE}
          -DTEXT=rotfile.txt -P ${CMAKE_CURRENT_LIST_DIR}/ManualText.cmake
  DEPENDS ${ROTFILE_MAN_PAGE} ${CMAKE_CURRENT_LIST_DIR}/ManualText.cmake
  VERBATIM)
add_custom_target(rotfile_manual_text ALL DEPENDS rotfile.txt)

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${CMAKE_CURRENT_BINARY_DIR}/rotfile.txt
        DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
