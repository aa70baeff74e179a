# make package: a Debian package of what MarovexInstall.cmake installs, under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marovex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Client library connecting a toll lane's equipment controller to its lane server")
set(CPACK_PACKAGE_CONTACT "Marovex developers <marovex@localhost>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# The run-time dependencies (libjsoncpp among them) are read off the installed binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Installed with DESTDIR, so that the pkg-config file names /usr and not the staging directory.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
