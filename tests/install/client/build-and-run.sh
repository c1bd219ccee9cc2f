#!/bin/sh
# build-and-run.sh PREFIX WORKDIR: builds the client against the package installed under
# PREFIX, once through find_package(TevFramework) and once through pkg-config, and runs both
# as a user would, with no LD_LIBRARY_PATH: CMake gives the first the library's folder as
# its run-time path, the second is linked with it. Neither finds Boost, nor needs it.
set -eu
unset LD_LIBRARY_PATH
prefix=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
cmake -S "$here" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
      -DCMAKE_DISABLE_FIND_PACKAGE_Boost=ON --no-warn-unused-cli >/dev/null
cmake --build "$work/cmake"
"$work/cmake/client" find_package "$work/find_package.log"
PKG_CONFIG_PATH=$(find "$prefix/lib" -type d -name pkgconfig | head -n 1)
export PKG_CONFIG_PATH
c++ -std=c++17 "$here/client.cpp" -o "$work/client-pc" $(pkg-config --cflags --libs tevframework) \
    -Wl,-rpath,"$(pkg-config --variable=libdir tevframework)"
"$work/client-pc" pkg-config "$work/pkg-config.log"
