#!/usr/bin/env bash
# Builds the configurator and finds the adapter: on the port given (argument or
# CONFIGURATOR_PORT), or, without one, on the bundled simulated adapter.
#   scripts/run.sh                 # against adapter-sim on a pseudo-terminal
#   scripts/run.sh /dev/ttyUSB0    # a serial port; USB:<serial> for an FTDI device
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
install_deps

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Only the programs: running needs no tests.
cmake --build build/release -j "$(nproc)" --target configurator-cli adapter-sim

cli=build/release/cli/configurator-cli
port="${1:-${CONFIGURATOR_PORT:-}}"
if [ -n "$port" ]; then
    exec "$cli" --port "$port" search
fi

# No port: serve the simulated adapter on a pty and read its path from its first line.
sim_out=$(mktemp)
build/release/sim/adapter-sim >"$sim_out" 2>&1 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; rm -f "$sim_out"' EXIT
pty=""
for _ in $(seq 100); do
    pty=$(head -n 1 "$sim_out" | tr -d '\r\n')
    [ -n "$pty" ] && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.05
done
if [ -z "$pty" ]; then
    echo "adapter-sim did not start" >&2
    cat "$sim_out" >&2
    exit 1
fi
echo "Simulated adapter on $pty"
"$cli" --port "$pty" search
