# The Windows zip, for people who use Windows: rotfile.exe at the top of one
# folder, beside its README for Windows, the manual page rendered as plain
# text (Windows has no man command), the changelog and the licence, every
# text file with CR LF line ends.
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win64)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/ReproducibleZip.cmake)

find_program(GROFF_EXECUTABLE groff REQUIRED)
set(ROTFILE_MAN_PAGE ${PROJECT_SOURCE_DIR}/doc/rotfile.1)
add_custom_command(OUTPUT rotfile.txt
  COMMAND ${CMAKE_COMMAND} -DGROFF=${GROFF_EXECUTABLE} -DPAGE=${ROTFILE_MAN_PAGE}
          -DTEXT=rotfile.txt -P ${CMAKE_CURRENT_LIST_DIR}/ManualText.cmake
  DEPENDS ${ROTFILE_MAN_PAGE} ${CMAKE_CURRENT_LIST_DIR}/ManualText.cmake
  VERBATIM)

# The README names the version; the others are the repository's own files.
configure_file(${PROJECT_SOURCE_DIR}/doc/README-windows.txt.in README-windows.txt @ONLY)
set(sources ${CMAKE_CURRENT_BINARY_DIR}/README-windows.txt ${PROJECT_SOURCE_DIR}/LICENSE)
set(texts README.txt LICENSE.txt)
foreach(source text IN ZIP_LISTS sources texts)
  add_custom_command(OUTPUT ${text}
    COMMAND ${CMAKE_COMMAND} -DIN=${source} -DOUT=${text}
            -P ${CMAKE_CURRENT_LIST_DIR}/WindowsText.cmake
    DEPENDS ${source} ${CMAKE_CURRENT_LIST_DIR}/WindowsText.cmake
    VERBATIM)
endforeach()
# The changelog without the items for other systems alone.
add_custom_command(OUTPUT CHANGELOG.txt
  COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/CHANGELOG.md -DOUT=CHANGELOG.txt -DFOR=windows
          -P ${CMAKE_CURRENT_LIST_DIR}/Changelog.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${CMAKE_CURRENT_LIST_DIR}/Changelog.cmake
  VERBATIM)
list(APPEND texts CHANGELOG.txt rotfile.txt)
add_custom_target(rotfile_windows_texts ALL DEPENDS ${texts})
list(TRANSFORM texts PREPEND ${CMAKE_CURRENT_BINARY_DIR}/)
install(FILES ${texts} DESTINATION .)
