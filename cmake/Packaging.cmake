include(CMakePackageConfigHelpers)

set(TEV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/TevFramework)

# Two components, packaged apart: the runtime (library and bundled backends) and the
# development files (headers, CMake package, pkg-config file, the library's link name).
install(TARGETS tevframework EXPORT TevFrameworkTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/Tev DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT development)
install(EXPORT TevFrameworkTargets NAMESPACE TevFramework:: DESTINATION ${TEV_CMAKE_DIR}
        COMPONENT development)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TevFrameworkConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TevFrameworkConfig.cmake
  INSTALL_DESTINATION ${TEV_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TevFrameworkConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TevFrameworkConfig.cmake
              ${PROJECT_BINARY_DIR}/TevFrameworkConfigVersion.cmake
        DESTINATION ${TEV_CMAKE_DIR} COMPONENT development)

if(WIN32)
  return()
endif()
# The pkg-config file finds the prefix from where it lies, so that an installation
# moved elsewhere (cmake --install --prefix) still works; under /usr it names it.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(TEV_PC_PREFIX /usr)
else()
  file(RELATIVE_PATH TEV_PC_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
  set(TEV_PC_PREFIX "\${pcfiledir}/${TEV_PC_PREFIX}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/tevframework.pc.in
  ${PROJECT_BINARY_DIR}/tevframework.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tevframework.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)

# Debian packages (./build.sh package): libtevframework1 and libtevframework-dev.
if(PROJECT_IS_TOP_LEVEL)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME tevframework)
  set(CPACK_PACKAGE_VENDOR "Tev Framework")
  set(CPACK_PACKAGE_CONTACT "Tev Framework developers <tev-framework@example.org>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
      "C++17 application framework: loggers with pluggable backends, properties, named objects, counters")
  set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL runtime development)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_STRIP_FILES ON)

  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libtevframework1)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
  set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "Tev Framework library and its bundled logging backends (console, file, syslog)")
  # Its dependencies come from the libraries it holds; libtevframework.so.1 is its own.
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/bin)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)

  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libtevframework-dev)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "Tev Framework headers, CMake package and pkg-config file")
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
      "libtevframework1 (= ${PROJECT_VERSION}-1), libboost-dev (>= 1.74)")
  include(CPack)
endif()
