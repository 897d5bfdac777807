# Read by cpack before it makes each package: the settings that depend on
# when, by whom and for which system it is made.
include(${CMAKE_CURRENT_LIST_DIR}/SourceDateEpoch.cmake)
if(CPACK_GENERATOR MATCHES "^(DEB|RPM)$")
  include(${CMAKE_CURRENT_LIST_DIR}/PackageContact.cmake)
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/PackageDocs.cmake)
endif()
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/ReproducibleDeb.cmake)
elseif(CPACK_GENERATOR STREQUAL "RPM")
  # The same source gives the same bytes: rpmbuild dates the files and the
  # build SOURCE_DATE_EPOCH, names no build host, and reads the changelog's
  # dates in UTC; the binary's build-id needs no links of its own under
  # /usr/lib, which rpm -e would leave behind.
  set(ENV{TZ} UTC)
  string(JOIN "\n" CPACK_RPM_SPEC_MORE_DEFINE
    "%define packager ${CPACK_PACKAGE_CONTACT}"
    "%define _buildhost reproducible"
    "%define use_source_date_epoch_as_buildtime 1"
    "%define clamp_mtime_to_source_date_epoch 1"
    "%define _build_id_links none")
endif()
