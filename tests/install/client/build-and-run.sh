#!/bin/sh
# build-and-run.sh PREFIX WORKDIR: builds the client against the package installed under
# PREFIX, once through find_package(TevFramework) and once through pkg-config, and runs both.
set -eu
prefix=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
cmake -S "$here" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake"
"$work/cmake/client" find_package
PKG_CONFIG_PATH=$(find "$prefix/lib" -type d -name pkgconfig | head -n 1)
export PKG_CONFIG_PATH
c++ -std=c++17 "$here/client.cpp" -o "$work/client-pc" $(pkg-config --cflags --libs tevframework)
"$work/client-pc" pkg-config
