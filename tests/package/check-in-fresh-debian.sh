#!/bin/sh
# Checks the Debian packages as a new machine gets them. Run from the source tree, as root,
# in a throwaway Debian 12 root (a chroot made for the check, holding a clone of the tree):
#   sh tests/package/check-in-fresh-debian.sh
# Builds the packages and checks them with lintian (./build.sh package), purges the build's
# own libraries, installs the packages with apt (which brings their dependencies) and clang,
# then builds the README's first program with its backend "shout" against them, with
# find_package and with pkg-config, with g++ and with clang++, and runs it, then builds the
# README's other blocks and clients of C++20 and C++14 (tests/install/build-and-run.sh).
# It removes packages, so it refuses to run anywhere but in a chroot, unless
# TEV_THROWAWAY_ROOT=yes says that this machine is a throwaway one (a container made for it).
set -eu
if [ "$(id -u)" -ne 0 ]; then
    echo "check-in-fresh-debian.sh: run it as root, in a throwaway Debian 12 chroot" >&2
    exit 1
fi
if [ "${TEV_THROWAWAY_ROOT:-}" != yes ] && ! ischroot; then
    echo "check-in-fresh-debian.sh: this is not a chroot, and it purges packages: not run." >&2
    echo "In a throwaway container, run it as TEV_THROWAWAY_ROOT=yes sh $0" >&2
    exit 1
fi
./build.sh package
export DEBIAN_FRONTEND=noninteractive
apt-get purge -y -qq libboost-thread-dev libspdlog-dev libgtest-dev libgmock-dev >/dev/null
apt-get autoremove -y -qq >/dev/null
apt-get install -y -qq --no-install-recommends ./build/package/packages/*.deb clang >/dev/null
dpkg -l libtevframework1 libtevframework-dev | tail -n 2
if [ -e /usr/include/boost ]; then
    echo "Boost's headers are still installed: the check would not show that clients need none" >&2
    exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
TEV_REQUIRE_CLANG=yes sh tests/install/build-and-run.sh /usr "$work"
echo "package check passed"
