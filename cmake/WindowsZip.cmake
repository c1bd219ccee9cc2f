# The Windows zip (./build.sh windows): tevframework-<version>-win64.zip, whose folder of
# the same name holds bin/ (tevframework.dll, the bundled backends and the MinGW runtime
# DLLs they need), lib/ (the import library and the CMake package), include/ and LICENSE.
# Included by Packaging.cmake.
install(FILES ${TEV_MINGW_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . COMPONENT runtime)
# Debian's MinGW runtime DLLs carry their debugging information (libstdc++-6.dll is 23 MB
# with it, 2 MB without): a stripped installation, as CPack makes, leaves it out.
foreach(tev_runtime ${TEV_MINGW_RUNTIME_DLLS})
  get_filename_component(tev_runtime ${tev_runtime} NAME)
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded
                    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${tev_runtime}\")
  endif()" COMPONENT runtime)
endforeach()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME tevframework-${PROJECT_VERSION}-win64)
include(CPack)
