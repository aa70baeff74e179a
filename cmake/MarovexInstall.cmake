# Installation: the library with its header, CMake package and pkg-config file, the programs
# mvcall and lanesim, and the documentation with the examples.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(MAROVEX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Marovex)
set(MAROVEX_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/marovex)

if(TARGET Marovex)
  set_target_properties(Marovex PROPERTIES PUBLIC_HEADER ${PROJECT_SOURCE_DIR}/library/api/Marovex.h)
  install(TARGETS Marovex EXPORT MarovexTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(EXPORT MarovexTargets NAMESPACE Marovex:: DESTINATION ${MAROVEX_CMAKE_DIR})

  configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/MarovexConfig.cmake.in
    ${PROJECT_BINARY_DIR}/MarovexConfig.cmake INSTALL_DESTINATION ${MAROVEX_CMAKE_DIR})
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/MarovexConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/MarovexConfig.cmake
    ${PROJECT_BINARY_DIR}/MarovexConfigVersion.cmake DESTINATION ${MAROVEX_CMAKE_DIR})

  # The prefix is only known when installing (cmake --install --prefix, a package's /usr).
  configure_file(${CMAKE_CURRENT_LIST_DIR}/marovex.pc.in ${PROJECT_BINARY_DIR}/marovex.pc.body
    @ONLY)
  set(MAROVEX_PC ${PROJECT_BINARY_DIR}/pkgconfig/marovex.pc)
  install(CODE "
    file(READ \"${PROJECT_BINARY_DIR}/marovex.pc.body\" body)
    file(WRITE \"${MAROVEX_PC}\" \"prefix=\${CMAKE_INSTALL_PREFIX}\\n\${body}\")")
  install(FILES ${MAROVEX_PC} DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

# The programs find the installed library through their run path.
file(RELATIVE_PATH MAROVEX_BIN_TO_LIB /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
foreach(tool mvcall lanesim)
  if(TARGET ${tool})
    set_target_properties(${tool} PROPERTIES INSTALL_RPATH "$ORIGIN/${MAROVEX_BIN_TO_LIB}")
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/operations.md
  ${PROJECT_SOURCE_DIR}/config/Marovex.ini.example
  DESTINATION ${MAROVEX_DOC_DIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${MAROVEX_DOC_DIR}/examples
  PATTERN "__pycache__" EXCLUDE)
