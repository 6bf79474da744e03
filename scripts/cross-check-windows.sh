#!/usr/bin/env bash
# Cross-compiles the core, the Win32 platform layer and configurator-cli for 64-bit Windows
# with mingw-w64, so the Windows side is known to build without a Windows machine. Installs
# the cross compiler (and Wine when it runs anything) when missing.
#   scripts/cross-check-windows.sh [--run | --test] [extra CMake configure arguments]
# --run also runs configurator-cli.exe under Wine against the simulator on a pseudo-terminal
# mapped to COM5: every adapter command, with its exit status and its texts checked.
# --test first builds the core's tests for Windows and runs them under Wine (see
# cmake/WineTests.cmake), the Win32 serial column on COM7 mapped to a pseudo-terminal whose far
# end the tests play through pty-far-end; then does what --run does.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
mode=build
case "${1:-}" in
  --run) mode=run; shift ;;
  --test) mode=test; shift ;;
esac
tests=OFF
[ "$mode" = test ] && tests=ON

# The posix threading variant: std::thread and std::mutex need it. GoogleTest is built for
# Windows from the sources Debian ships. The imports and sections are read with the cross
# objdump.
CONFIGURATOR_PACKAGES="cmake ninja-build libcli11-dev nlohmann-json3-dev \
g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64"
[ "$mode" = test ] && CONFIGURATOR_PACKAGES+=" googletest"
install_deps

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
build=build/mingw
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DCONFIGURATOR_TESTS=$tests \
  -DCMAKE_CROSSCOMPILING_EMULATOR=$wine "$@"
cmake --build "$build" -j "$(nproc)"

# The program must start on a bare Windows: only system DLLs imported, and the version
# strings it reports about itself in its resource.
exe="$build/cli/configurator-cli.exe"
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
foreign=$(grep -viE '^(kernel32|advapi32|user32|version|shlwapi|msvcrt|ucrtbase|api-ms-win-.*)\.dll$' \
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
[ "$mode" = build ] && exit 0

CONFIGURATOR_PACKAGES="g++ wine64"
install_deps
cmake -S . -B build/mingw-host -G Ninja -DCONFIGURATOR_TESTS=OFF >/dev/null
cmake --build build/mingw-host --target adapter-sim -j "$(nproc)"

work=$(mktemp -d)
sim_pid=""
sim2_pid=""
far_pid=""
export WINEPREFIX="$work/wine" WINEDEBUG=-all
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  [ -n "$sim2_pid" ] && kill "$sim2_pid" 2>/dev/null
  [ -n "$far_pid" ] && kill "$far_pid" 2>/dev/null
  [ -d "$WINEPREFIX" ] && "$wineserver" -k 2>/dev/null && "$wineserver" -w
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "under Wine: $*" >&2
  exit 1
}

# The simulator, and for the tests the far end of COM7: Linux programs on pseudo-terminals.
build/mingw-host/sim/adapter-sim --quiet --test-pause 20 --image "$work/image.bin" \
  >"$work/sim.out" &
sim_pid=$!
# A second adapter on COM6, for several ports at once.
build/mingw-host/sim/adapter-sim --quiet --serial 000456 --image "$work/image2.bin" \
  >"$work/sim2.out" &
sim2_pid=$!
if [ "$mode" = test ]; then
  g++ -std=c++20 -O2 -Wall -Wextra -Werror -o "$work/pty-far-end" \
    tests/transport/wine/PtyFarEnd.cpp
  # A fresh pty for every connection, each in its turn at the same path.
  "$work/pty-far-end" "$work/com7" >"$work/far.out" &
  far_pid=$!
fi
for _ in $(seq 50); do
  [ -s "$work/sim.out" ] && [ -s "$work/sim2.out" ] &&
    { [ -z "$far_pid" ] || [ -s "$work/far.out" ]; } && break
  sleep 0.1
done
ports="COM5=$(head -n1 "$work/sim.out") COM6=$(head -n1 "$work/sim2.out")"
[ -n "$far_pid" ] && ports+=" COM7=$work/com7"

# One server for the whole run, so its messages (and its object dump when it is stopped) go
# to a log of their own. Wine maps COM ports to Unix devices by its registry; the mapping is
# read when the server starts, so the server is started once more after writing it.
mkdir -p "$WINEPREFIX"
"$wineserver" -p 2>"$work/wineserver.log"
"$wine" wineboot --init 2>"$work/wineboot.log" || { cat "$work/wineboot.log" >&2; exit 1; }
{
  echo 'Windows Registry Editor Version 5.00'
  echo '[HKEY_LOCAL_MACHINE\Software\Wine\Ports]'
  for port in $ports; do echo "\"${port%%=*}\"=\"${port#*=}\""; done
} >"$work/ports.reg"
"$wine" reg import "$(tr / '\\' <<<"Z:$work/ports.reg")" 2>/dev/null
"$wineserver" -k
"$wineserver" -w
"$wineserver" -p 2>>"$work/wineserver.log"
# The session's first program starts Wine's services, which keep the output it was given: that
# must be a file, not a pipe that ctest or the checks below would wait on for ever.
"$wine" reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' >"$work/serialcomm" 2>/dev/null
for port in $ports; do
  grep -q "${port%%=*}" "$work/serialcomm" || fail "${port%%=*} is not mapped"
done

if [ "$mode" = test ]; then
  WINE_TEST_FAR_END=$(head -n1 "$work/far.out") WINE_TEST_COM=COM7 WINE_TEST_MAPPED="COM5 COM6 COM7" \
    ctest --test-dir "$build" --output-on-failure --timeout 300 -j "$(nproc)"
fi

# configurator-cli as a user runs it, on COM5: its exit status, its output (Windows line ends
# taken off) and what reached the simulated adapter.
cli() {
  local want=$1 status=0
  shift
  timeout 120 "$wine" "$exe" "$@" >"$work/out" 2>"$work/err" || status=$?
  out=$(tr -d '\r' <"$work/out")
  err=$(tr -d '\r' <"$work/err")
  [ "$status" = "$want" ] ||
    fail "configurator-cli $* exited with $status, not $want: $out $err"
}
expect() {
  grep -qF -- "$2" <<<"$1" || fail "expected \"$2\" in: $1"
}
# The version comes from the program's resource there.
cli 0 --version
version=$(sed -n 's/^project(Configurator VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$out" = "configurator-cli $version" ] || fail "--version printed: $out"
cli 0 ports
expect "$out" COM5
cli 0 --port COM5 search
expect "$out" "Serial Number: 000123"
expect "$out" "Firmware: 1.07"
cli 0 --port COM5 mode 02
expect "$out" "* 01  02   Extended"
cli 0 --port COM5 power on
cli 0 --port COM5 --json search
expect "$out" '"currentMode":"02"'
expect "$out" '"extPower":true'
cli 0 --port COM5 power off
cli 0 --port COM5 --json search
expect "$out" '"extPower":false'
cli 0 --port COM5 test
expect "$out" "Self-test passed"
{ printf 0A; head -c 78 /dev/zero | tr '\0' '\1'; } >"$work/mode.rcm"
cli 0 --port COM5 repair "$work/mode.rcm"
cli 0 --port COM5 --json search
expect "$out" '"currentMode":"0A"'

# Failures: a refused mode, a port that is not there, and a usage error.
cli 1 --port COM5 mode ZZ
expect "$err" ZZ
cli 1 --port COM9 search
expect "$err" "Open Port(COM9) Error..."
cli 2 --port COM5 power maybe

# A header frame of 80 bytes, 20 pages of 128 bytes and a partial page that is not sent.
head -c $((80 + 20 * 128 + 37)) /dev/urandom >"$work/fw.rfw"
# The path starts with a slash: Windows-style "/option" parsing must leave it a path.
cli 0 --port COM5 update "$work/fw.rfw"
expect "$(tail -n1 <<<"$out")" "Updating firmware : Ok"
tail -c +81 "$work/fw.rfw" | head -c $((20 * 128)) >"$work/expected.bin"
cmp "$work/expected.bin" "$work/image.bin" || fail "the flashed image differs from the file"

# Two adapters updated at once, each image byte for byte.
rm -f "$work/image.bin" "$work/image2.bin"
cli 0 --port COM5 --port COM6 update "$work/fw.rfw"
expect "$out" "COM5: Updating firmware : Ok"
expect "$out" "COM6: Updating firmware : Ok"
cmp "$work/expected.bin" "$work/image.bin" || fail "COM5's image differs from the file"
cmp "$work/expected.bin" "$work/image2.bin" || fail "COM6's image differs from the file"
echo "Windows program under Wine OK: version, ports, search, mode, power, test, repair," \
  "update and failures on COM5, and a two-port update on COM5 and COM6"
