# Installation: the library with its header, CMake package and pkg-config file, the programs
# mvcall, lanesim and mvclient, and the documentation with the examples. Every rule names the
# component, and so the Debian package, it belongs to (MarovexPackage.cmake):
#   libraries    the shared library libMarovex.so.1                       libmarovex1
#   development  header, libMarovex.so link, CMake package, marovex.pc   libmarovex-dev
#   tools        mvcall, lanesim                                          marovex-tools
#   console      mvclient                                                 mvclient
#   python       the ctypes module in Python's own path (packages only)   python3-marovex
# Rules marked EXCLUDE_FROM_ALL are the packages' alone: a plain `cmake --install` leaves them out.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(MAROVEX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Marovex)
set(MAROVEX_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/marovex)
set(MAROVEX_DEBIAN_DIR ${CMAKE_CURRENT_LIST_DIR}/debian)
# Debian's python3 imports modules from here (below /usr).
set(MAROVEX_PYTHON_DIR lib/python3/dist-packages)
# The Debian package of each component.
set(MAROVEX_PACKAGES libraries:libmarovex1 development:libmarovex-dev tools:marovex-tools
    console:mvclient python:python3-marovex)

if(TARGET Marovex)
  set_target_properties(Marovex PROPERTIES PUBLIC_HEADER ${PROJECT_SOURCE_DIR}/library/api/Marovex.h)
  install(TARGETS Marovex EXPORT MarovexTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT libraries
      NAMELINK_COMPONENT development
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT libraries
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
  install(EXPORT MarovexTargets NAMESPACE Marovex:: DESTINATION ${MAROVEX_CMAKE_DIR}
    COMPONENT development)

  configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/MarovexConfig.cmake.in
    ${PROJECT_BINARY_DIR}/MarovexConfig.cmake INSTALL_DESTINATION ${MAROVEX_CMAKE_DIR})
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/MarovexConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/MarovexConfig.cmake
    ${PROJECT_BINARY_DIR}/MarovexConfigVersion.cmake DESTINATION ${MAROVEX_CMAKE_DIR}
    COMPONENT development)

  # The prefix is only known when installing (cmake --install --prefix, a package's /usr).
  configure_file(${CMAKE_CURRENT_LIST_DIR}/marovex.pc.in ${PROJECT_BINARY_DIR}/marovex.pc.body
    @ONLY)
  set(MAROVEX_PC ${PROJECT_BINARY_DIR}/pkgconfig/marovex.pc)
  install(CODE "
    file(READ \"${PROJECT_BINARY_DIR}/marovex.pc.body\" body)
    file(WRITE \"${MAROVEX_PC}\" \"prefix=\${CMAKE_INSTALL_PREFIX}\\n\${body}\")"
    COMPONENT development)
  install(FILES ${MAROVEX_PC} DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
endif()

# The programs load the library at run time by its SONAME. Installed where the system's loader
# does not look, they find it through their run path; in the system's own library directory (a
# package's /usr/lib/<triplet>) they need none.
file(RELATIVE_PATH MAROVEX_BIN_TO_LIB /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
set(MAROVEX_PROGRAM_RPATH "")
if(NOT CMAKE_INSTALL_FULL_LIBDIR IN_LIST CMAKE_PLATFORM_IMPLICIT_LINK_DIRECTORIES)
  set(MAROVEX_PROGRAM_RPATH "$ORIGIN/${MAROVEX_BIN_TO_LIB}")
endif()
foreach(program mvcall:tools lanesim:tools mvclient:console)
  string(REPLACE ":" ";" program ${program})
  list(GET program 0 target)
  list(GET program 1 component)
  if(TARGET ${target})
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "${MAROVEX_PROGRAM_RPATH}")
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
  endif()
endforeach()

# The documentation: under share/doc/marovex for a plain installation, in the development
# package's documentation directory for the packages. The documents keep their places of the
# source tree, so that the links between them hold where they are installed.
function(marovex_install_docs destination)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/config/Marovex.ini.example
    DESTINATION ${destination} ${ARGN})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${destination}/docs ${ARGN})
  install(FILES ${PROJECT_SOURCE_DIR}/tools/lanesim/README.md
    DESTINATION ${destination}/tools/lanesim ${ARGN})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${destination}/examples ${ARGN}
    PATTERN "__pycache__" EXCLUDE)
endfunction()
marovex_install_docs(${MAROVEX_DOC_DIR})
marovex_install_docs(${CMAKE_INSTALL_DATAROOTDIR}/doc/libmarovex-dev COMPONENT development
  EXCLUDE_FROM_ALL)

install(FILES ${PROJECT_SOURCE_DIR}/examples/python/marovex.py DESTINATION ${MAROVEX_PYTHON_DIR}
  COMPONENT python EXCLUDE_FROM_ALL)

# The rest is Debian's; the Windows builds make no packages.
if(WIN32)
  return()
endif()

# What Debian asks of every package: its copyright and its changelog, compressed the way
# Debian compresses it (gzip -9n: the same bytes on every build).
set(MAROVEX_CHANGELOG_GZ ${PROJECT_BINARY_DIR}/debian/changelog.gz)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${MAROVEX_DEBIAN_DIR}/changelog)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/debian)
execute_process(COMMAND gzip -9nc ${MAROVEX_DEBIAN_DIR}/changelog
  OUTPUT_FILE ${MAROVEX_CHANGELOG_GZ} RESULT_VARIABLE MAROVEX_GZIP_RESULT)
if(NOT MAROVEX_GZIP_RESULT EQUAL 0)
  message(FATAL_ERROR "gzip could not compress ${MAROVEX_DEBIAN_DIR}/changelog")
endif()
foreach(package ${MAROVEX_PACKAGES})
  string(REPLACE ":" ";" package ${package})
  list(GET package 0 component)
  list(GET package 1 name)
  install(FILES ${MAROVEX_DEBIAN_DIR}/copyright ${MAROVEX_CHANGELOG_GZ}
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${name} COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()
