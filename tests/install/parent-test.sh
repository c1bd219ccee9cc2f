#!/bin/sh
# parent-test.sh SOURCE_DIR: configures and builds a parent project that adds the source
# tree with add_subdirectory and builds the README's first program and its backend "shout",
# then runs the program as the parent's users would, with no LD_LIBRARY_PATH: the bundled
# backends lie beside the framework's library. Leaves nothing behind.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tev-parent-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
sh "$here/readme-test.sh" extract "$1/README.md" "$work/hello"
cmake -S "$here/parent" -B "$work/build" -G Ninja -DTEV_SOURCE_DIR="$1" -DTEV_HELLO_DIR="$work/hello" \
      -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$work/build" -j 2
unset LD_LIBRARY_PATH
sh "$here/readme-test.sh" run add_subdirectory "$work/build/hello"
