# make package: one Debian package per component of MarovexInstall.cmake, under /usr, as Debian
# ships a library: the run-time library alone in libmarovex1, the link and the files a build needs
# in libmarovex-dev, the programs and the Python module in packages of their own. The binaries are
# stripped; their debugging symbols go into a -dbgsym package each.
if(WIN32)
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marovex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Marovex developers <marovex@example.org>")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE marovex)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends from the binaries' own needs (dpkg-shlibdeps), plus the packages named below; a package
# of this project is required in exactly this version.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/MarovexDbgsym.cmake)
# Installed with DESTDIR, so that the pkg-config file names /usr and not the staging directory.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_COMPONENTS_ALL "")
foreach(package ${MAROVEX_PACKAGES})
  string(REPLACE ":" ";" package ${package})
  list(GET package 0 component)
  list(GET package 1 name)
  string(TOUPPER ${component} COMPONENT)
  list(APPEND CPACK_COMPONENTS_ALL ${component})
  set(CPACK_DEBIAN_${COMPONENT}_PACKAGE_NAME ${name})
endforeach()

# A summary line, then the extended description; CPack indents its lines, an empty line
# separates paragraphs.
string(CONCAT MAROVEX_ABOUT
  "Marovex connects the equipment controller of a highway toll lane to its lane\n"
  "server: fourteen exported functions, JSON text in, an int result and JSON\n"
  "text out.\n\n")
string(CONCAT CPACK_DEBIAN_LIBRARIES_DESCRIPTION
  "toll-lane client library\n" ${MAROVEX_ABOUT}
  "This package holds the shared library, which keeps one session per lane with\n"
  "that lane's server over TCP and writes dated log files.")
string(CONCAT CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
  "toll-lane client library (development files)\n" ${MAROVEX_ABOUT}
  "This package holds the header, the link to the library, its CMake package\n"
  "and pkg-config file, the reference of the functions and the examples.")
string(CONCAT CPACK_DEBIAN_TOOLS_DESCRIPTION
  "toll-lane client library (command-line tools)\n" ${MAROVEX_ABOUT}
  "This package holds mvcall, which runs calls of the library from the command\n"
  "line, and lanesim, a lane-server simulator and decoding proxy.")
string(CONCAT CPACK_DEBIAN_CONSOLE_DESCRIPTION
  "toll-lane client library (test console)\n" ${MAROVEX_ABOUT}
  "This package holds mvclient, a Qt Quick console with which an operator fires\n"
  "every call of the library by hand or in timed loops and watches the results.")
string(CONCAT CPACK_DEBIAN_PYTHON_DESCRIPTION
  "toll-lane client library (Python module)\n" ${MAROVEX_ABOUT}
  "This package holds the module marovex, which calls the library through\n"
  "ctypes.")

set(CPACK_DEBIAN_LIBRARIES_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_CONSOLE_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)

# The shlibs file tells dpkg-shlibdeps of other packages which version of libmarovex1 their
# binaries need; the trigger has ldconfig update the loader's cache.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_LIBRARIES_PACKAGE_CONTROL_EXTRA ${MAROVEX_DEBIAN_DIR}/triggers)

# The programs load the library at run time, which dpkg-shlibdeps cannot see.
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS libraries)
set(CPACK_COMPONENT_TOOLS_DEPENDS libraries)
set(CPACK_COMPONENT_CONSOLE_DEPENDS libraries)
set(CPACK_COMPONENT_PYTHON_DEPENDS libraries)
# The QML modules the screens import are loaded as plug-ins, also out of dpkg-shlibdeps' sight.
set(CPACK_DEBIAN_CONSOLE_PACKAGE_DEPENDS
  "qml-module-qtquick2, qml-module-qtquick-controls2, qml-module-qtquick-layouts")
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS python3)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_DEVELOPMENT_DEBUGINFO_PACKAGE OFF)
set(CPACK_DEBIAN_PYTHON_DEBUGINFO_PACKAGE OFF)

include(CPack)
