#!/bin/sh
# parent-test.sh SOURCE_DIR: configures and builds a parent project that adds the source
# tree with add_subdirectory, then runs its program as the parent's users would, with no
# LD_LIBRARY_PATH: the backends lie beside the framework's library. Leaves nothing behind.
set -eu
work=$(mktemp -d "${TMPDIR:-/tmp}/tev-parent-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
cmake -S "$(dirname "$0")/parent" -B "$work" -G Ninja -DTEV_SOURCE_DIR="$1" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$work" -j 2
unset LD_LIBRARY_PATH
"$work/parent" add_subdirectory "$work/parent.log"
