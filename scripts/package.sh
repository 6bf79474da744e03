#!/usr/bin/env bash
# Builds the Debian package of the programs, the desktop entry, the icons and the metadata,
# for `apt install ./FILE.deb`. Only the package's path goes to standard output, the build's
# progress to standard error, so that deb=$(scripts/package.sh) works.
#   scripts/package.sh [extra CMake configure arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
install_deps >&2

build=build/package
# The metadata's release date is that of the last commit, so a rebuild makes the same package.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
export SOURCE_DATE_EPOCH
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCONFIGURATOR_TESTS=OFF "$@" >&2
cmake --build "$build" -j "$(nproc)" >&2
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB) >&2
deb=$(echo "$build"/*.deb)
[ -f "$deb" ] || { echo "cpack wrote no .deb in $build" >&2; exit 1; }
realpath "$deb"
