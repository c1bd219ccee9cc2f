#!/bin/sh
# zip-test.sh BUILD_DIR SOURCE_DIR WINE: makes the Windows zip, unpacks it into a fresh
# folder, cross-builds the client against it with find_package(TevFramework) and the MinGW
# toolchain file, and runs it under Wine with only the zip's bin/ on its PATH, as a Windows
# user would. Leaves nothing behind.
set -eu
build=$1 source=$2 wine=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/tev-zip-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
cpack -G ZIP --config "$build/CPackConfig.cmake" -B "$work/zip" >/dev/null
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$work"/zip/tevframework-*-win64.zip)
package=$(echo "$work"/unpacked/tevframework-*-win64)
cmake -S "$source/tests/install/client" -B "$work/client" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-w64-x86_64.cmake" \
      -DTevFramework_DIR="$package/lib/cmake/TevFramework" -DCMAKE_DISABLE_FIND_PACKAGE_Boost=ON \
      --no-warn-unused-cli >/dev/null
cmake --build "$work/client"
cd "$work/client"
WINEPATH=$(printf 'Z:%s/bin' "$package" | tr / '\\') "$wine" client.exe zip client.log
