# spdlog for the Windows backends: header-only, with fmt header-only too (Debian's
# spdlog is a Linux build that wants an external fmt). Both come through a folder of
# links. No thread_local in a DLL that is unloaded: MinGW emulates it, and a reloaded
# DLL crashes on it.
set(tev_spdlog_include ${PROJECT_BINARY_DIR}/windows-include/spdlog)
file(MAKE_DIRECTORY ${tev_spdlog_include})
file(CREATE_LINK /usr/include/spdlog ${tev_spdlog_include}/spdlog SYMBOLIC)
file(CREATE_LINK /usr/include/fmt ${tev_spdlog_include}/fmt SYMBOLIC)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(spdlog REQUIRED_VARS tev_spdlog_include)
if(NOT EXISTS ${tev_spdlog_include}/spdlog/spdlog.h OR NOT EXISTS ${tev_spdlog_include}/fmt/format.h)
  set(spdlog_FOUND FALSE)
endif()

if(spdlog_FOUND AND NOT TARGET spdlog::spdlog)
  add_library(spdlog::spdlog INTERFACE IMPORTED)
  set_target_properties(spdlog::spdlog PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${tev_spdlog_include}
    INTERFACE_COMPILE_DEFINITIONS "FMT_HEADER_ONLY;SPDLOG_NO_TLS")
endif()
