# Read by CPack once per generator: which components each Linux package
# holds, and where. The Debian package and the RPM install under /usr; the
# tarball keeps its files under one folder that runs where it is unpacked.
list(GET CPACK_INSTALL_CMAKE_PROJECTS 0 keyconv_build_dir)
if(CPACK_GENERATOR STREQUAL "DEB")
  set(keyconv_components programs debian)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
elseif(CPACK_GENERATOR STREQUAL "RPM")
  set(keyconv_components programs docs)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
elseif(CPACK_GENERATOR STREQUAL "TGZ")
  set(keyconv_components programs tarball)
  set(CPACK_PACKAGE_FILE_NAME "keyconv-${CPACK_PACKAGE_VERSION}-linux-${CPACK_KEYCONV_ARCHITECTURE}")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()
set(CPACK_INSTALL_CMAKE_PROJECTS "")
foreach(component IN LISTS keyconv_components)
  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS ${keyconv_build_dir} keyconv ${component} /)
endforeach()
