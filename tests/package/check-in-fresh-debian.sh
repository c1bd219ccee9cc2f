#!/bin/sh
# Checks the Debian packages on a new machine. Run from the source tree, as root, on a
# Debian 12 with nothing installed, e.g. in a fresh container:
#   ../shared/tools/fresh-debian 'sh tests/package/check-in-fresh-debian.sh'
# Builds the packages, removes the build's own libraries, installs the packages with apt
# (which brings their dependencies), then builds a client against them with
# find_package and with pkg-config and runs it.
set -eu
./build.sh package
export DEBIAN_FRONTEND=noninteractive
apt-get purge -y -qq libboost-thread-dev libspdlog-dev libgtest-dev libgmock-dev >/dev/null
apt-get autoremove -y -qq >/dev/null
apt-get install -y -qq --no-install-recommends ./build/package/packages/*.deb >/dev/null
dpkg -l libtevframework1 libtevframework-dev | tail -n 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sh tests/install/client/build-and-run.sh /usr "$work"
echo "package check passed"
