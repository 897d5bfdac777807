# Run by cpack after it makes the .deb. cpack's package carries the builder's
# umask in its directory modes and the file system's directory sizes in its
# Installed-Size, so it is unpacked and built again with dpkg-deb, which
# sorts the members, gives them owner root and dates them no later than
# SOURCE_DATE_EPOCH (set by SourceDateEpoch.cmake).
find_program(DPKG_DEB_EXECUTABLE dpkg-deb REQUIRED)
find_program(CHMOD_EXECUTABLE chmod REQUIRED)
set(root ${CPACK_TOPLEVEL_DIRECTORY}/reproducible)
file(REMOVE_RECURSE ${root})
execute_process(COMMAND ${DPKG_DEB_EXECUTABLE} -R ${CPACK_PACKAGE_FILES} ${root}
  COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CHMOD_EXECUTABLE} -R u=rwX,go=rX ${root} COMMAND_ERROR_IS_FATAL ANY)

# Installed-Size as dpkg-gencontrol counts it: each file in KiB, rounded up,
# and 1 for each directory, the top one included.
file(GLOB_RECURSE entries LIST_DIRECTORIES true ${root}/*)
list(FILTER entries EXCLUDE REGEX "^${root}/DEBIAN(/|$)")
set(size 1)
foreach(entry IN LISTS entries)
  if(IS_DIRECTORY ${entry})
    math(EXPR size "${size} + 1")
  else()
    file(SIZE ${entry} bytes)
    math(EXPR size "${size} + (${bytes} + 1023) / 1024")
  endif()
endforeach()
file(READ ${root}/DEBIAN/control control)
string(REGEX REPLACE "\nInstalled-Size: [0-9]+\n" "\nInstalled-Size: ${size}\n" control "${control}")
file(WRITE ${root}/DEBIAN/control "${control}")

execute_process(COMMAND ${DPKG_DEB_EXECUTABLE} --root-owner-group --build ${root}
                        ${CPACK_PACKAGE_FILES}
  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
