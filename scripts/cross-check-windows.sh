#!/usr/bin/env bash
# Cross-compiles the core, the Win32 platform layer and configurator-cli for 64-bit Windows
# with mingw-w64, so the Windows side is known to build without a Windows machine. Installs
# the cross compiler when missing. The tests are not built: they need the POSIX rigs.
# Extra arguments go to the CMake configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
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
