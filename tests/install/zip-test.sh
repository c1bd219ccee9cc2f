#!/bin/sh
# zip-test.sh BUILD_DIR SOURCE_DIR WINE: makes the Windows zip, unpacks it into a fresh
# folder and cross-builds the README's first program with its backend "shout"
# (tev_add_backend) against it, as the README tells: through find_package with MinGW-w64's
# g++ named and no toolchain file, and with a toolchain file that sets CMAKE_FIND_ROOT_PATH
# (this tree's) and the package's folder named. Runs both under Wine with only the zip's bin/ on the PATH:
# console, file and shout load by bare name. Leaves nothing behind.
set -eu
build=$1 source=$2 wine=$3
readme_test="$source/tests/install/readme-test.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/tev-zip-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
cpack -G ZIP --config "$build/CPackConfig.cmake" -B "$work/zip" >/dev/null
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$work"/zip/tevframework-*-win64.zip)
package=$(echo "$work"/unpacked/tevframework-*-win64)

sh "$readme_test" extract "$source/README.md" "$work/hello"
cmake -S "$work/hello" -B "$work/named" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_SYSTEM_NAME=Windows \
      -DCMAKE_CXX_COMPILER=x86_64-w64-mingw32-g++-posix -DCMAKE_PREFIX_PATH="$package" >/dev/null
cmake --build "$work/named"
cmake -S "$work/hello" -B "$work/toolchain" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-w64-x86_64.cmake" \
      -DTevFramework_DIR="$package/lib/cmake/TevFramework" -DCMAKE_DISABLE_FIND_PACKAGE_Boost=ON \
      --no-warn-unused-cli >/dev/null
cmake --build "$work/toolchain"

WINEPATH=$(printf 'Z:%s/bin' "$package" | tr / '\\')
export WINEPATH
for build in named toolchain; do
    sh "$readme_test" run "zip $build" "$work/$build/hello.exe" "$wine"
done
echo "every client ok"
