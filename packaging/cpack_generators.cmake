# Read by cpack once for each package it makes.
if(CPACK_GENERATOR STREQUAL "TGZ")
  # The portable archive: the program folder alone, Tessaly/ at its top.
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_TESSALY_PORTABLE_PROJECT}")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-portable")
endif()
