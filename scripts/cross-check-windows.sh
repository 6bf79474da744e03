#!/usr/bin/env bash
# Cross-compiles the core, the Win32 platform layer and configurator-cli for 64-bit Windows
# with mingw-w64, so the Windows side is known to build without a Windows machine. Installs
# the cross compiler when missing. The tests are not built: they need the POSIX rigs.
#   scripts/cross-check-windows.sh [--run] [extra CMake configure arguments]
# --run also runs the program under Wine against the simulator on a pseudo-terminal mapped
# to COM5: a search and a firmware update through the Win32 serial functions.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
run=false
if [ "${1:-}" = "--run" ]; then
  run=true
  shift
fi

# The posix threading variant: std::thread and std::mutex need it.
CONFIGURATOR_PACKAGES="cmake ninja-build libcli11-dev nlohmann-json3-dev \
g++-mingw-w64-x86-64-posix"
install_deps

build=build/mingw
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DCONFIGURATOR_TESTS=OFF "$@"
cmake --build "$build" -j "$(nproc)"

# The program must start on a bare Windows: only system DLLs imported, and the version
# strings it reports about itself in its resource.
exe="$build/cli/configurator-cli.exe"
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
foreign=$(grep -viE '^(kernel32|advapi32|user32|version|msvcrt|ucrtbase|api-ms-win-.*)\.dll$' \
  <<<"$imports" || true)
if [ -n "$foreign" ]; then
  echo "configurator-cli.exe needs DLLs a Windows machine does not have: $foreign" >&2
  exit 1
fi
if ! x86_64-w64-mingw32-objdump -h "$exe" | grep -q '\.rsrc'; then
  echo "configurator-cli.exe carries no version resource" >&2
  exit 1
fi
echo "Windows cross build OK: $exe"
$run || exit 0

CONFIGURATOR_PACKAGES="g++ wine64"
install_deps
cmake -S . -B build/mingw-host -G Ninja -DCONFIGURATOR_TESTS=OFF >/dev/null
cmake --build build/mingw-host --target adapter-sim -j "$(nproc)"

work=$(mktemp -d)
sim_pid=""
export WINEPREFIX="$work/wine" WINEDEBUG=-all
wine=/usr/lib/wine/wine64
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  [ -d "$WINEPREFIX" ] && /usr/lib/wine/wineserver -k 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# One server for the whole run, so its messages (and its object dump when it is stopped) go
# to a log of their own.
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver -p 2>"$work/wineserver.log"
"$wine" wineboot --init 2>"$work/wineboot.log" || { cat "$work/wineboot.log" >&2; exit 1; }

build/mingw-host/sim/adapter-sim --quiet --image "$work/image.bin" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 50); do
  [ -s "$work/sim.out" ] && break
  sleep 0.1
done
ln -sfn "$(head -n1 "$work/sim.out")" "$WINEPREFIX/dosdevices/com5"
cli() { timeout 120 "$wine" "$exe" --port COM5 "$@"; }

out=$(cli search)
grep -q '^Modes:' <<<"$out" || { echo "search under Wine failed: $out" >&2; exit 1; }

# A header frame of 80 bytes, 20 pages of 128 bytes and a partial page that is not sent.
head -c $((80 + 20 * 128 + 37)) /dev/urandom >"$work/fw.rfw"
# The path starts with a slash: Windows-style "/option" parsing must leave it a path.
cli update "$work/fw.rfw" | tail -n1
tail -c +81 "$work/fw.rfw" | head -c $((20 * 128)) >"$work/expected.bin"
cmp "$work/expected.bin" "$work/image.bin"
echo "Windows program under Wine OK: search and firmware update on COM5"
