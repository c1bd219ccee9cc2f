#!/bin/sh
# build-and-run.sh PREFIX WORKDIR: builds the README's first program with its backend "shout",
# copied from the README, against the package installed under PREFIX, and runs it as a user
# would, with no LD_LIBRARY_PATH (readme-test.sh): through find_package(TevFramework) and
# through pkg-config, with c++ and with clang++ (at its default standard, C++14, the CMake
# package must ask for C++17; with pkg-config, the README's -std=c++17). CMake gives a program
# the library's folder as its run-time path; with pkg-config it is linked with it, unless
# PREFIX is /usr. None finds Boost, nor needs it. Then every other C++ block of the README,
# built as pasted, run where the README shows what it prints; a C++20 program through
# pkg-config, its -std before and after pkg-config's flags; and a C++14 one, which must stop
# at the first header with the one line that says why.
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
    standard=
    [ "$compiler" = c++ ] || standard=-std=c++17
    (cd "$work/hello" && "$compiler" $standard hello.cpp -o "$build/hello" \
                             $(pkg-config --cflags --libs tevframework) $rpath)
done

sh "$readme_test" snippets "$here/../../README.md" "$work/snippets"
for snippet in "$work"/snippets/*.cpp; do
    c++ "$snippet" -o "${snippet%.cpp}" $(pkg-config --cflags --libs tevframework) $rpath ||
        { echo "build-and-run.sh: README.md's C++ block at ${snippet##*/line} does not build" >&2; exit 1; }
    if [ -f "${snippet%.cpp}.out" ]; then
        printed=$(cd "$work/snippets" && "${snippet%.cpp}" 2>&1 |
                  sed 's/[0-9][0-9]:[0-9][0-9]:[0-9][0-9]\.[0-9][0-9][0-9]/12:04:05.123/g')
        [ "$printed" = "$(cat "${snippet%.cpp}.out")" ] ||
            { echo "build-and-run.sh: README.md's C++ block at ${snippet##*/line} prints: $printed" >&2; exit 1; }
    fi
done
echo "README blocks ok"

printf '#include <Tev/Framework/GenericLogger/Logger.h>\n#include <span>\n%s\n' \
       'int main() { int two[2]{}; return static_cast<int>(std::span(two).size()) - 2; }' >"$work/cxx20.cpp"
c++ -std=c++20 "$work/cxx20.cpp" -o "$work/cxx20-before" $(pkg-config --cflags --libs tevframework) $rpath
c++ "$work/cxx20.cpp" -o "$work/cxx20-after" $(pkg-config --cflags --libs tevframework) -std=c++20 $rpath
"$work/cxx20-before" && "$work/cxx20-after"
if c++ -std=c++14 -c "$work/hello/hello.cpp" -o "$work/cxx14.o" $(pkg-config --cflags tevframework) \
       2>"$work/cxx14.txt"; then
    echo "build-and-run.sh: a C++14 program built" >&2
    exit 1
fi
grep -m 1 'error' "$work/cxx14.txt" | grep -q 'the Tev Framework needs C++17 or later' ||
    { echo "build-and-run.sh: C++14 was told as:" >&2; cat "$work/cxx14.txt" >&2; exit 1; }
echo "standards ok"
# The README's command for a backend without CMake names g++.
(cd "$work/hello" && g++ -shared -fPIC -fvisibility=hidden -fno-gnu-unique ShoutBackend.cpp -o "$work/shout_ru.so" \
                         $(pkg-config --cflags --libs tevframework))
for compiler in $compilers; do
    cp "$work/shout_ru.so" "$work/hello-pkg-config-$compiler/"
    sh "$readme_test" run "pkg-config $compiler" "$work/hello-pkg-config-$compiler/hello"
done
echo "every client ok"
