# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix),
# tested under Wine: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(tev_mingw x86_64-w64-mingw32)
# The posix flavour: std::thread and std::mutex need its winpthreads.
set(CMAKE_C_COMPILER ${tev_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${tev_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${tev_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${tev_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs and test discovery run under Wine.
find_program(TEV_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TEV_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TEV_WINE64})
endif()
