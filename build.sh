#!/usr/bin/env bash
# Sets up, builds and runs the Tev Framework.
#   ./build.sh demo      install what is missing, build, run the example program
#   ./build.sh test      install what is missing, build, run every test
#   ./build.sh bench     install what is missing, build in Release, run the benchmarks
#   ./build.sh sanitize  build with clang's AddressSanitizer and UBSan, run every test
#   ./build.sh tsan      build with clang's ThreadSanitizer, run every test
#   ./build.sh windows   cross-build tevframework.dll with MinGW-w64, run the tests under Wine
#   ./build.sh clean     remove the build tree
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$here"
build_root="$here/build"
jobs=$(getconf _NPROCESSORS_ONLN 2>/dev/null || echo 2)

say() { printf '==> %s\n' "$*"; }

base_packages=(g++ cmake ninja-build pkg-config libboost-thread-dev libspdlog-dev
               libgtest-dev libgmock-dev)

# Installs the Debian packages that are missing; without root, prints the command and stops.
ensure_packages() {
    local wanted=("$@") missing=() p
    if ! command -v dpkg-query >/dev/null 2>&1; then
        say "not a Debian system: make sure these are installed: ${wanted[*]}"
        return 0
    fi
    for p in "${wanted[@]}"; do
        if ! dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null | grep -qx installed; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        say "installing ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    else
        echo "These Debian packages are missing. Install them, then run this command again:" >&2
        echo "  sudo apt-get install --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
}

# configure DIR [cmake arguments...]
configure() {
    local dir=$1; shift
    cmake -S "$here" -B "$dir" -G Ninja "$@" >/dev/null
}

run_tests() {
    local dir=$1
    cmake --build "$dir" -j "$jobs"
    say "running the tests"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 120
}

# Runs the tests of a Windows build tree under Wine, in a prefix inside the tree. The
# tests themselves start one persistent Wine server for the run and stop it (ctest
# fixtures wine_start and wine_stop); this only makes sure it is stopped.
run_windows_tests() {
    local dir=$1
    export WINEPREFIX="$dir/wine" WINEDEBUG=-all WINEDLLOVERRIDES="winedbg.exe,mscoree,mshtml=d"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        say "creating the Wine prefix $WINEPREFIX"
        /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 </dev/null || true
    fi
    trap "/usr/lib/wine/wineserver -k 2>/dev/null || true" EXIT
    say "running the tests under Wine"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 600
}

case "${1:-}" in
    demo)
        ensure_packages "${base_packages[@]}"
        configure "$build_root/main" -DCMAKE_BUILD_TYPE=RelWithDebInfo
        cmake --build "$build_root/main" -j "$jobs"
        # The example is a client program: it builds against the installed package.
        cmake --install "$build_root/main" --prefix "$build_root/stage" >/dev/null
        cmake -S "$here/examples" -B "$build_root/examples" -G Ninja \
              -DCMAKE_PREFIX_PATH="$build_root/stage" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
        cmake --build "$build_root/examples" -j "$jobs"
        say "running the demo"
        "$build_root/examples/bin/demo"
        ;;
    test)
        ensure_packages "${base_packages[@]}"
        configure "$build_root/main" -DCMAKE_BUILD_TYPE=RelWithDebInfo
        run_tests "$build_root/main"
        ;;
    bench)
        ensure_packages "${base_packages[@]}" libbenchmark-dev
        configure "$build_root/bench" -DCMAKE_BUILD_TYPE=Release -DTEV_BUILD_BENCHMARKS=ON \
                  -DTEV_BUILD_TESTS=OFF
        cmake --build "$build_root/bench" -j "$jobs"
        say "running the benchmarks"
        "$build_root/bench/bin/tev_bench"
        ;;
    sanitize)
        ensure_packages "${base_packages[@]}" clang libclang-rt-14-dev
        configure "$build_root/asan" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
                  -DTEV_SANITIZE=address,undefined
        UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 run_tests "$build_root/asan"
        ;;
    tsan)
        ensure_packages "${base_packages[@]}" clang libclang-rt-14-dev
        configure "$build_root/tsan" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
                  -DTEV_SANITIZE=thread
        run_tests "$build_root/tsan"
        ;;
    windows)
        ensure_packages "${base_packages[@]}" g++-mingw-w64-x86-64-posix wine64 wine
        configure "$build_root/windows" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
                  -DCMAKE_BUILD_TYPE=RelWithDebInfo
        cmake --build "$build_root/windows" -j "$jobs"
        run_windows_tests "$build_root/windows"
        ;;
    clean)
        rm -rf "$build_root"
        ;;
    *)
        sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'
        exit 2
        ;;
esac
