# Read by cpack before it makes a .deb or an .rpm: who answers for the
# package, its Maintainer (Debian) or Packager (rpm) and the signature of its
# changelog's entries, where users are told to report bugs. rotfile has no
# public address, so whoever makes a package names themselves:
# ROTFILE_PACKAGE_CONTACT when it was given at configure time (here
# CPACK_PACKAGE_CONTACT), else DEBFULLNAME and DEBEMAIL, which Debian's own
# tools read, with NAME and EMAIL as their fallbacks and the name taken from
# an address written "Name <address>", as those tools do. It is read only
# now, so that configuring and building never need it; without it cpack
# stops here, before it writes anything.
set(contact "${CPACK_PACKAGE_CONTACT}")
if(NOT contact)
  set(name "$ENV{DEBFULLNAME}")
  set(address "$ENV{DEBEMAIL}")
  if(NOT address)
    set(address "$ENV{EMAIL}")
  endif()
  if(address MATCHES "^(.*[^ ]) *<(.*)>$")
    if(NOT name)
      set(name "${CMAKE_MATCH_1}")
    endif()
    set(address "${CMAKE_MATCH_2}")
  endif()
  if(NOT name)
    set(name "$ENV{NAME}")
  endif()
  if(NOT name OR NOT address)
    message(FATAL_ERROR " To make a package, set DEBFULLNAME and DEBEMAIL (or ROTFILE_PACKAGE_CONTACT).")
  endif()
  set(contact "${name} <${address}>")
endif()
# Debian and rpm both want a name and one address.
if(NOT contact MATCHES "^[^<>]*[^ <>] <[^<>@ ]+@[^<>@ ]+>$")
  message(FATAL_ERROR " Not 'Name <address>': ${contact}")
endif()
set(CPACK_PACKAGE_CONTACT "${contact}")
