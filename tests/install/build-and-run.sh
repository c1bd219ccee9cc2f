#!/bin/sh
# build-and-run.sh PREFIX WORKDIR: builds the README's first program with its backend "shout",
# copied from the README, against the package installed under PREFIX, and runs it as a user
# would, with no LD_LIBRARY_PATH (readme-test.sh): through find_package(TevFramework) and
# through pkg-config, with c++ and with clang++ at its default standard (the package must ask
# for C++17). CMake gives a program the library's folder as its run-time path; with
# pkg-config it is linked with it, unless PREFIX is /usr. None finds Boost, nor needs it.
# TEV_REQUIRE_CLANG=yes fails where clang++ is missing; otherwise it is skipped there.
set -eu
unset LD_LIBRARY_PATH
prefix=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
readme_test="$here/readme-test.sh"

PKG_CONFIG_PATH=$(find "$prefix/lib" -type d -name pkgconfig | head -n 1)
export PKG_CONFIG_PATH
rpath=
if [ "$prefix" != /usr ]; then
    rpath="-Wl,-rpath,$(pkg-config --variable=libdir tevframework)"
fi

compilers=c++
if command -v clang++ >/dev/null 2>&1; then
    compilers="c++ clang++"
elif [ "${TEV_REQUIRE_CLANG:-}" = yes ]; then
    echo "build-and-run.sh: clang++ is missing" >&2
    exit 1
else
    echo "build-and-run.sh: no clang++: the README's program is built with c++ only"
fi
sh "$readme_test" extract "$here/../../README.md" "$work/hello"
for compiler in $compilers; do
    build="$work/hello-cmake-$compiler"
    cmake -S "$work/hello" -B "$build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$compiler" \
          -DCMAKE_DISABLE_FIND_PACKAGE_Boost=ON --no-warn-unused-cli >/dev/null
    cmake --build "$build"
    sh "$readme_test" run "find_package $compiler" "$build/hello"

    build="$work/hello-pkg-config-$compiler"
    mkdir "$build"
    (cd "$work/hello" && "$compiler" hello.cpp -o "$build/hello" $(pkg-config --cflags --libs tevframework) $rpath)
done
# The README's command for a backend without CMake names g++.
(cd "$work/hello" && g++ -shared -fPIC -fvisibility=hidden -fno-gnu-unique ShoutBackend.cpp -o "$work/shout_ru.so" \
                         $(pkg-config --cflags --libs tevframework))
for compiler in $compilers; do
    cp "$work/shout_ru.so" "$work/hello-pkg-config-$compiler/"
    sh "$readme_test" run "pkg-config $compiler" "$work/hello-pkg-config-$compiler/hello"
done
echo "every client ok"
