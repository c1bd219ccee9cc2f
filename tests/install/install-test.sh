#!/bin/sh
# install-test.sh BUILD_DIR: installs the build into a temporary prefix and builds and runs
# the README's first program against it (build-and-run.sh). Leaves nothing behind.
set -eu
work=$(mktemp -d "${TMPDIR:-/tmp}/tev-install-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
cmake --install "$1" --prefix "$work/prefix" >/dev/null
sh "$(dirname "$0")/build-and-run.sh" "$work/prefix" "$work"
