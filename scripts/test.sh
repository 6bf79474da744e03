#!/usr/bin/env bash
# Installs what the build needs, builds everything and runs every test: once in a normal
# build, once more under AddressSanitizer and UndefinedBehaviorSanitizer, once more under
# ThreadSanitizer; runs the fuzz targets briefly; checks the Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
install_deps

jobs=$(nproc)
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"

# The Debian package as shipped, from a Release build, checked as ctest checked the one of
# build/release: its files, its desktop entry and metadata under desktop-file-validate and
# appstreamcli, and the command line started from the unpacked package.
deb=$(scripts/package.sh)
tests/package/check-package.sh "$deb"

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCONFIGURATOR_SANITIZE=ON
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs" -LE no-sanitize

# Every serial device starts its port-list workers, so nearly every test runs threads: the
# whole suite once more under ThreadSanitizer.
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCONFIGURATOR_TSAN=ON
cmake --build build/tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build/tsan --output-on-failure -j "$jobs" \
  -LE 'no-sanitize|no-tsan'

# Every fuzz target for a few seconds on its seed corpus (clang's libFuzzer, ASan, UBSan).
scripts/fuzz.sh --short

# The Windows side: the core, its Win32 layer, its tests and configurator-cli cross-compiled
# with mingw-w64; the tests and every command of configurator-cli run under Wine.
scripts/cross-check-windows.sh --test
