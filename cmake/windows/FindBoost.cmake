# Boost for the Windows build: Debian's headers only. Boost.Thread's Win32 mutexes are
# header code; no compiled Boost library is needed. The headers come through a folder
# holding one link, so that the rest of /usr/include stays out of the cross build.
set(tev_boost_include ${PROJECT_BINARY_DIR}/windows-include/boost)
file(MAKE_DIRECTORY ${tev_boost_include})
file(CREATE_LINK /usr/include/boost ${tev_boost_include}/boost SYMBOLIC)

if(EXISTS ${tev_boost_include}/boost/version.hpp)
  file(STRINGS ${tev_boost_include}/boost/version.hpp tev_boost_version REGEX "^#define BOOST_VERSION [0-9]+")
  string(REGEX REPLACE ".* ([0-9]+)" "\\1" tev_boost_version "${tev_boost_version}")
  math(EXPR tev_major "${tev_boost_version} / 100000")
  math(EXPR tev_minor "${tev_boost_version} / 100 % 1000")
  math(EXPR tev_patch "${tev_boost_version} % 100")
  set(Boost_VERSION_STRING ${tev_major}.${tev_minor}.${tev_patch})
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Boost REQUIRED_VARS Boost_VERSION_STRING VERSION_VAR Boost_VERSION_STRING)

if(Boost_FOUND AND NOT TARGET Boost::headers)
  add_library(Boost::headers INTERFACE IMPORTED)
  set_target_properties(Boost::headers PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${tev_boost_include})
  add_library(Boost::thread INTERFACE IMPORTED)
  set_target_properties(Boost::thread PROPERTIES INTERFACE_LINK_LIBRARIES Boost::headers)
endif()
