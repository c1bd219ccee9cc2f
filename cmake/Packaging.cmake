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
              ${CMAKE_CURRENT_LIST_DIR}/TevAddBackend.cmake
        DESTINATION ${TEV_CMAKE_DIR} COMPONENT development)
# A parent project that adds this source tree gets tev_add_backend() as well.
include(${CMAKE_CURRENT_LIST_DIR}/TevAddBackend.cmake)

if(NOT WIN32)
  # The pkg-config file finds the prefix from where it lies, so that an installation
  # moved elsewhere (cmake --install --prefix) still works; under /usr, or where the library
  # folder is given as an absolute path, it names it. A folder given as an absolute path
  # stands as it is.
  if(CMAKE_INSTALL_PREFIX STREQUAL "/usr" OR IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
    set(TEV_PC_PREFIX ${CMAKE_INSTALL_PREFIX})
  else()
    file(RELATIVE_PATH TEV_PC_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
    set(TEV_PC_PREFIX "\${pcfiledir}/${TEV_PC_PREFIX}")
  endif()
  foreach(folder LIBDIR INCLUDEDIR)
    if(IS_ABSOLUTE "${CMAKE_INSTALL_${folder}}")
      set(TEV_PC_${folder} "${CMAKE_INSTALL_${folder}}")
    else()
      set(TEV_PC_${folder} "\${prefix}/${CMAKE_INSTALL_${folder}}")
    endif()
  endforeach()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/tevframework.pc.in
    ${PROJECT_BINARY_DIR}/tevframework.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/tevframework.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
          COMPONENT development)
endif()

# The packages, only where this is the project being built: the Debian packages on Linux
# (./build.sh package), the zip on Windows (./build.sh windows).
if(NOT PROJECT_IS_TOP_LEVEL)
  return()
endif()
set(CPACK_PACKAGE_NAME tevframework)
set(CPACK_PACKAGE_VENDOR "Tev Framework")
set(CPACK_PACKAGE_CONTACT "Tev Framework developers <tev-framework@example.org>")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsZip.cmake)
else()
  include(${CMAKE_CURRENT_LIST_DIR}/DebianPackages.cmake)
endif()
