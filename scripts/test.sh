#!/usr/bin/env bash
# Installs what the build needs, builds everything and runs every test: once in a normal
# build, once more under AddressSanitizer and UndefinedBehaviorSanitizer, once more under
# ThreadSanitizer; runs the fuzz targets briefly; checks the Debian package; runs the Windows
# build under Wine. A failure names its stage and the command that reruns what failed alone.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
install_deps

jobs=$(nproc)
stage="set-up"
rerun=""

on_exit() {
    local rc=$?
    [ "$rc" -eq 0 ] && return
    echo >&2
    echo "scripts/test.sh: FAILED in stage: $stage (exit status $rc)" >&2
    [ -n "$rerun" ] && echo "Rerun it alone with:" >&2 && printf '%s\n' "$rerun" >&2
}
trap on_exit EXIT

# ctest in build/$1 with the environment in $2 (words like NAME=VALUE) and ctest's own options
# after; on failure every failed test is named with the command that reruns it alone.
run_ctest() {
    local dir=$1 env=$2
    shift 2
    rerun="  $env ctest --test-dir $dir --output-on-failure $*"
    # shellcheck disable=SC2086
    if env $env ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@"; then
        rerun=""
        return 0
    fi
    local failed="$dir/Testing/Temporary/LastTestsFailed.log" name
    if [ -s "$failed" ]; then
        rerun=""
        while IFS=: read -r _ name; do
            rerun+="  $env ctest --test-dir $dir --output-on-failure -R '^${name}\$'"$'\n'
        done <"$failed"
    fi
    return 1
}

stage="release build"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j "$jobs"
stage="release tests"
run_ctest build/release ""

# The Debian package as shipped, from a Release build, checked as ctest checked the one of
# build/release: its files, its desktop entry and metadata under desktop-file-validate and
# appstreamcli, and the command line started from the unpacked package.
stage="package"
rerun="  tests/package/check-package.sh \$(scripts/package.sh)"
deb=$(scripts/package.sh)
tests/package/check-package.sh "$deb"
rerun=""

stage="ASan/UBSan build"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCONFIGURATOR_SANITIZE=ON
cmake --build build/asan -j "$jobs"
stage="ASan/UBSan tests"
run_ctest build/asan "ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1" \
    -LE no-sanitize

# Every serial device starts its port-list workers, so nearly every test runs threads: the
# whole suite once more under ThreadSanitizer.
stage="TSan build"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCONFIGURATOR_TSAN=ON
cmake --build build/tsan -j "$jobs"
stage="TSan tests"
run_ctest build/tsan "TSAN_OPTIONS=halt_on_error=1" -LE 'no-sanitize|no-tsan'

# Every fuzz target for a few seconds on its seed corpus (clang's libFuzzer, ASan, UBSan).
stage="fuzz"
rerun="  scripts/fuzz.sh --short"
scripts/fuzz.sh --short
rerun=""

# The Windows side: the core, its Win32 layer, its tests and configurator-cli cross-compiled
# with mingw-w64; the tests and every command of configurator-cli run under Wine.
stage="Windows (Wine)"
rerun="  scripts/cross-check-windows.sh --test"
scripts/cross-check-windows.sh --test
rerun=""
stage="done"
