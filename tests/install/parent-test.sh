#!/bin/sh
# parent-test.sh SOURCE_DIR: configures and builds a parent project that adds the source
# tree with add_subdirectory, then runs its program. Leaves nothing behind.
set -eu
work=$(mktemp -d "${TMPDIR:-/tmp}/tev-parent-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
cmake -S "$(dirname "$0")/parent" -B "$work" -G Ninja -DTEV_SOURCE_DIR="$1" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$work" -j 2 --target parent console_backend
LD_LIBRARY_PATH="$work/tev/bin" "$work/parent" add_subdirectory
