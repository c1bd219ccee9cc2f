# What the Windows build (MinGW-w64, tests under Wine) needs beyond the Linux one.
# Included from the top-level CMakeLists.txt when WIN32.

# Boost, spdlog and GoogleTest come from Debian's Linux packages: see windows/*.cmake.
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/windows)

# The compiler's runtime DLLs go beside the programs, as a Windows program ships them, and
# into the zip (WindowsZip.cmake).
set(TEV_MINGW_RUNTIME_DLLS "")
foreach(tev_runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${tev_runtime}
                  OUTPUT_VARIABLE tev_runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${tev_runtime_path}" OR NOT EXISTS "${tev_runtime_path}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${tev_runtime} is")
  endif()
  file(COPY ${tev_runtime_path} DESTINATION ${PROJECT_BINARY_DIR}/bin)
  list(APPEND TEV_MINGW_RUNTIME_DLLS ${tev_runtime_path})
endforeach()

# The Wine prefix lives in the build tree, never in the user's home.
set(TEV_WINE_PREFIX ${PROJECT_BINARY_DIR}/wine CACHE PATH "Wine prefix the tests run in")
set(TEV_WINE_ENVIRONMENT
    WINEPREFIX=${TEV_WINE_PREFIX}
    WINEDEBUG=-all
    # No debugger on a crash, no installers for .NET and HTML when the prefix is made.
    WINEDLLOVERRIDES=winedbg.exe,mscoree,mshtml=d)
set(TEV_WINDOWS_TEST_TIMEOUT 600 CACHE STRING "Seconds one test program may run under Wine")

if(TEV_BUILD_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
