include(CMakePackageConfigHelpers)

set(TEV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/TevFramework)

install(TARGETS tevframework EXPORT TevFrameworkTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/Tev DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT TevFrameworkTargets NAMESPACE TevFramework:: DESTINATION ${TEV_CMAKE_DIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TevFrameworkConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TevFrameworkConfig.cmake
  INSTALL_DESTINATION ${TEV_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TevFrameworkConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TevFrameworkConfig.cmake
              ${PROJECT_BINARY_DIR}/TevFrameworkConfigVersion.cmake
        DESTINATION ${TEV_CMAKE_DIR})

if(WIN32)
  return()
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/tevframework.pc.in
  ${PROJECT_BINARY_DIR}/tevframework.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tevframework.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
