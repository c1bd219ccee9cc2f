#!/bin/sh
# install-test.sh BUILD_DIR: installs the build into a temporary prefix and builds and runs
# the README's first program against it (build-and-run.sh). Then checks the pkg-config file
# of a build whose folders are given as absolute paths, as distributions give them. Leaves
# nothing behind.
set -eu
source=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tev-install-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
cmake --install "$1" --prefix "$work/prefix" >/dev/null
sh "$source/tests/install/build-and-run.sh" "$work/prefix" "$work"

cmake -S "$source" -B "$work/absolute" -G Ninja -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_LIBDIR=/usr/lib64 \
      -DCMAKE_INSTALL_INCLUDEDIR=/opt/tev/include -DTEV_BUILD_TESTS=OFF -DTEV_BUILD_BACKENDS=OFF >/dev/null
flags=$(echo $(PKG_CONFIG_PATH="$work/absolute" pkg-config --cflags --libs tevframework))
[ "$flags" = "-I/opt/tev/include -L/usr/lib64 -ltevframework" ] ||
    { echo "install-test.sh: with absolute folders, pkg-config says: $flags" >&2; exit 1; }
echo "absolute folders ok"
