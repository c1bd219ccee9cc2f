# The Debian packages (./build.sh package): libtevframework1 (the library and its bundled
# backends) and libtevframework-dev (headers, CMake package, pkg-config file). Included by
# Packaging.cmake. Each carries, as Debian wants, the licence as a machine-readable
# copyright file and the changelog; cmake/debian holds them.
set(tev_debian ${CMAKE_CURRENT_LIST_DIR}/debian)
set(tev_debian_build ${PROJECT_BINARY_DIR}/debian)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(tev_debian_version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})

# The changelog's newest entry names the version being packaged.
file(STRINGS ${tev_debian}/changelog tev_changelog_top LIMIT_COUNT 1)
if(NOT tev_changelog_top MATCHES "^tevframework \\(${tev_debian_version}\\) ")
  message(FATAL_ERROR "cmake/debian/changelog does not begin with version ${tev_debian_version}")
endif()
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${tev_debian}/changelog ${tev_debian}/copyright.in ${PROJECT_SOURCE_DIR}/LICENSE)
file(MAKE_DIRECTORY ${tev_debian_build})
execute_process(COMMAND gzip -9nc ${tev_debian}/changelog OUTPUT_FILE ${tev_debian_build}/changelog.Debian.gz
                RESULT_VARIABLE tev_failed)
if(tev_failed)
  message(FATAL_ERROR "gzip cannot compress cmake/debian/changelog")
endif()

# The copyright file: LICENSE's holder and text in Debian's format (each line indented,
# an empty line written as " .").
file(READ ${PROJECT_SOURCE_DIR}/LICENSE tev_license)
if(NOT tev_license MATCHES "Copyright \\(c\\) ([^\n]+)\n\n(Permission .*[^\n])\n*$")
  message(FATAL_ERROR "LICENSE is not the MIT licence with one copyright line")
endif()
set(TEV_COPYRIGHT ${CMAKE_MATCH_1})
string(REPLACE "\n\n" "\n.\n" TEV_LICENSE_TEXT "${CMAKE_MATCH_2}")
string(REPLACE "\n" "\n " TEV_LICENSE_TEXT " ${TEV_LICENSE_TEXT}")
configure_file(${tev_debian}/copyright.in ${tev_debian_build}/copyright @ONLY)

foreach(tev_component runtime development)
  if(tev_component STREQUAL runtime)
    set(tev_package libtevframework1)
  else()
    set(tev_package libtevframework-dev)
  endif()
  install(FILES ${tev_debian_build}/copyright ${tev_debian_build}/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${tev_package} COMPONENT ${tev_component}
          EXCLUDE_FROM_ALL)
endforeach()
install(FILES ${tev_debian}/libtevframework1.lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME libtevframework1
        COMPONENT runtime EXCLUDE_FROM_ALL)
install(FILES ${tev_debian}/libtevframework-dev.lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME libtevframework-dev
        COMPONENT development EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libtevframework1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(tev_debian_about "The Tev Framework gives C++17 programs named loggers that hand their
messages to logging backends loaded by name at run time, a last-resort
crisis log, a property store, a registry of named reference-counted
objects and named counters.")
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "C++17 application framework with pluggable logging backends
${tev_debian_about}

This package holds the shared library and its bundled logging backends:
console, file (rotated by size, daily or hourly), syslog and journal
(the systemd journal).")
# Its dependencies come from the libraries it holds; libtevframework.so.1 is its own.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The library sits in a folder of the loader's: the package asks dpkg to run ldconfig.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${tev_debian}/triggers)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libtevframework-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "C++17 application framework with pluggable logging backends (headers)
${tev_debian_about}

This package holds what a program needs to build against the library:
the headers, the CMake package (with tev_add_backend for backend
libraries) and the pkg-config file.")
# The public headers need the standard library only: no Boost.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libtevframework1 (= ${tev_debian_version})")
include(CPack)
