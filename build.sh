#!/usr/bin/env bash
# Sets up, builds and runs the Tev Framework.
#   ./build.sh demo      install what is missing, build, run the example program
#   ./build.sh test      install what is missing, build, run every test
#   ./build.sh bench     install what is missing, build in Release, run the benchmarks
#   ./build.sh sanitize  build with clang's AddressSanitizer and UBSan, run every test
#   ./build.sh tsan      build with clang's ThreadSanitizer, run every test
#   ./build.sh fuzz [S]  fuzz the logging model, the JSON formatter and the file sink's model with
#                        libFuzzer, S seconds each (default 60)
#   ./build.sh package   build the Debian packages (libtevframework1, libtevframework-dev)
#   ./build.sh docs      build the API reference from the public headers, warnings fail it
#   ./build.sh format    check the sources against .clang-format; "format fix" rewrites them
#   ./build.sh tidy      run the .clang-tidy checks over the library and the backends
#   ./build.sh windows   cross-build tevframework.dll with MinGW-w64, zip it, run the tests under Wine
#   ./build.sh clean     remove the build tree
# -j N (or -jN), before or after the command, sets how many jobs build and test at once;
# without it CMAKE_BUILD_PARALLEL_LEVEL does, else every processor.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$here"
build_root="$here/build"

jobs=${CMAKE_BUILD_PARALLEL_LEVEL:-}
arguments=()
while [ $# -gt 0 ]; do
    case $1 in
        -j) jobs=${2:-}; shift $(($# > 1 ? 2 : 1)) ;;
        -j*) jobs=${1#-j}; shift ;;
        *) arguments+=("$1"); shift ;;
    esac
done
set -- "${arguments[@]+"${arguments[@]}"}"
[ -n "$jobs" ] || jobs=$(getconf _NPROCESSORS_ONLN 2>/dev/null || echo 2)
if ! [[ $jobs =~ ^[1-9][0-9]*$ ]]; then
    echo "build.sh: -j wants a number of jobs, 1 or more, not '$jobs'" >&2
    exit 2
fi

say() { printf '==> %s\n' "$*"; }

base_packages=(g++ make cmake ninja-build pkg-config libboost-thread-dev libspdlog-dev libsystemd-dev
               libgtest-dev libgmock-dev nlohmann-json3-dev)
# What the tests run besides: the journal backend's test starts a systemd-journald of its own
# and reads it back with journalctl and jq.
test_packages=(systemd jq)

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

# Stops the Wine server and removes the folder it leaves in /tmp, named after the prefix's
# device and inode.
stop_wine() {
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    local server dir
    server=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
    for dir in /tmp/wine-*/"$server" "/tmp/.wine-$(id -u)/$server"; do
        if [ -d "$dir" ]; then
            rm -rf "$dir"
            rmdir --ignore-fail-on-non-empty "$(dirname "$dir")"
        fi
    done
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
    trap stop_wine EXIT
    say "running the tests under Wine"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 600
}

case "${1:-}" in
    demo)
        ensure_packages "${base_packages[@]}"
        # A release build of its own, without the tests.
        configure "$build_root/demo" -DCMAKE_BUILD_TYPE=Release -DTEV_BUILD_TESTS=OFF
        cmake --build "$build_root/demo" -j "$jobs"
        # The example is a client program: it builds against the installed package.
        cmake --install "$build_root/demo" --prefix "$build_root/demo/stage" >/dev/null
        cmake -S "$here/examples" -B "$build_root/demo/examples" -G Ninja \
              -DCMAKE_PREFIX_PATH="$build_root/demo/stage" -DCMAKE_BUILD_TYPE=Release >/dev/null
        cmake --build "$build_root/demo/examples" -j "$jobs"
        say "running the demo"
        # CMake gave the program the library's folder as its run-time path; the library
        # finds its bundled backends in its own folder's tevframework/.
        "$build_root/demo/examples/bin/demo"
        ;;
    test)
        ensure_packages "${base_packages[@]}" "${test_packages[@]}"
        configure "$build_root/main" -DCMAKE_BUILD_TYPE=RelWithDebInfo
        run_tests "$build_root/main"
        ;;
    bench)
        ensure_packages "${base_packages[@]}" libbenchmark-dev liblog4cxx-dev libgoogle-glog-dev \
                        libboost-log-dev
        configure "$build_root/bench" -DCMAKE_BUILD_TYPE=Release -DTEV_BUILD_BENCHMARKS=ON \
                  -DTEV_BUILD_TESTS=OFF
        cmake --build "$build_root/bench" -j "$jobs"
        say "running the benchmarks"
        "$build_root/bench/bin/tev_bench"
        ;;
    sanitize)
        ensure_packages "${base_packages[@]}" "${test_packages[@]}" clang libclang-rt-14-dev
        configure "$build_root/asan" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
                  -DTEV_SANITIZE=address,undefined
        ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
            run_tests "$build_root/asan"
        ;;
    fuzz)
        seconds=${2:-60}
        ensure_packages "${base_packages[@]}" clang libclang-rt-14-dev
        configure "$build_root/fuzz" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
                  -DTEV_SANITIZE=address,undefined -DTEV_FUZZ=ON
        cmake --build "$build_root/fuzz" -j "$jobs" --target logging_model_fuzzer
        say "fuzzing the logging model for $seconds s"
        mkdir -p "$build_root/fuzz/corpus"
        # A divergence prints the shortest call sequence found and fails the run.
        "$build_root/fuzz/bin/logging_model_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="$build_root/fuzz/" "$build_root/fuzz/corpus"
        # Any bytes must give one JSON line that reads back as them, invalid UTF-8 replaced.
        cmake --build "$build_root/fuzz" -j "$jobs" --target json_formatter_fuzzer
        say "fuzzing the JSON formatter for $seconds s"
        mkdir -p "$build_root/fuzz/json-corpus"
        "$build_root/fuzz/bin/json_formatter_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="$build_root/fuzz/json-" "$build_root/fuzz/json-corpus"
        # The file sink's files after random lines, clock moves, failures and restarts must be
        # its model's; a divergence prints the steps and what differed.
        cmake --build "$build_root/fuzz" -j "$jobs" --target sink_model_fuzzer
        say "fuzzing the file sink's model for $seconds s"
        mkdir -p "$build_root/fuzz/sink-corpus"
        "$build_root/fuzz/bin/sink_model_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="$build_root/fuzz/sink-" "$build_root/fuzz/sink-corpus"
        ;;
    tsan)
        ensure_packages "${base_packages[@]}" "${test_packages[@]}" clang libclang-rt-14-dev
        configure "$build_root/tsan" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
                  -DTEV_SANITIZE=thread
        run_tests "$build_root/tsan"
        ;;
    package)
        ensure_packages "${base_packages[@]}" dpkg-dev file lintian
        configure "$build_root/package" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
                  -DTEV_BUILD_TESTS=OFF
        cmake --build "$build_root/package" -j "$jobs"
        rm -rf "$build_root/package/packages"
        # CPack's notes (the backends have no SONAME, by design) go to a log.
        if ! (cd "$build_root/package" && cpack -G DEB >cpack.log 2>&1); then
            cat "$build_root/package/cpack.log" >&2
            exit 1
        fi
        say "packages:"
        ls "$build_root/package/packages/"*.deb
        # Debian's own checks: an error or a warning fails the build. The warnings that
        # remain are overridden in the package, each with its reason (cmake/debian).
        # Its temporary files (it leaves two behind each run) stay in the build folder.
        say "lintian"
        lintian_tmp="$build_root/package/lintian-tmp"
        rm -rf "$lintian_tmp" && mkdir "$lintian_tmp"
        TMPDIR="$lintian_tmp" lintian --fail-on error,warning "$build_root/package/packages/"*.deb
        rm -rf "$lintian_tmp"
        say "to install them, as root (with sudo where it is installed):"
        printf '  apt-get install'
        printf ' %s' "$build_root/package/packages/"*.deb
        printf '\n'
        ;;
    docs)
        ensure_packages doxygen
        html="$build_root/docs/html"
        rm -rf "$html"
        mkdir -p "$build_root/docs"
        TEV_DOCS_OUTPUT="$build_root/docs" doxygen docs/Doxyfile
        # Doxygen 1.9 also makes an empty "File Reference" page of each page's source in
        # docs/, which only the search index links to: both go.
        rm -f "$html"/*_8md.html
        sed -i '/_8md\.html/d' "$html"/search/*.js
        # What Doxygen does not warn of: a page with nothing on it, a tag shown as text.
        empty=$(awk '/<div class="contents">/ { getline after; if (after ~ /^<\/div><!-- contents -->/) print FILENAME }' \
                    "$html"/*.html)
        tags=$(grep -lE '&lt;/?(a|b|i|p|br|em|tt|li|ol|ul|td|th|tr|pre|div|code|span|table|strong|h[1-6])&gt;' \
                    "$html"/*.html || true)
        if [ -n "$empty$tags" ]; then
            echo "build.sh docs: empty pages: ${empty:-none}; tags shown as text: ${tags:-none}" >&2
            exit 1
        fi
        say "API reference: $html/index.html"
        ;;
    format)
        ensure_packages clang-format
        mapfile -t sources < <(find include src backends tests bench examples -type f \
                                    \( -name '*.h' -o -name '*.cpp' \) | sort)
        if [ "${2:-}" = fix ]; then
            clang-format -i "${sources[@]}"
            say "formatted ${#sources[@]} files"
        else
            clang-format --dry-run -Werror "${sources[@]}"
            say "${#sources[@]} files follow .clang-format"
        fi
        ;;
    tidy)
        ensure_packages "${base_packages[@]}" clang-tidy
        configure "$build_root/main" -DCMAKE_BUILD_TYPE=RelWithDebInfo
        # clang does not know g++'s -fno-gnu-unique and -Wno-restrict: the compile commands
        # without them.
        mkdir -p "$build_root/tidy"
        sed 's/ -fno-gnu-unique//g; s/ -Wno-restrict//g' "$build_root/main/compile_commands.json" \
            >"$build_root/tidy/compile_commands.json"
        run-clang-tidy -p "$build_root/tidy" -quiet -j "$jobs" "^$here/(src|backends)/" 2>/dev/null
        say "no findings"
        ;;
    windows)
        ensure_packages "${base_packages[@]}" g++-mingw-w64-x86-64-posix wine64 wine
        # A release build: the zip made of it is what Windows users get.
        configure "$build_root/windows" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
                  -DCMAKE_BUILD_TYPE=Release
        cmake --build "$build_root/windows" -j "$jobs"
        rm -rf "$build_root/windows/packages"
        (cd "$build_root/windows" && cpack -G ZIP >/dev/null)
        say "zip: $(ls "$build_root/windows/packages/"*.zip)"
        run_windows_tests "$build_root/windows"
        ;;
    clean)
        rm -rf "$build_root"
        ;;
    *)
        sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'
        exit 2
        ;;
esac
