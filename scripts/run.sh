#!/usr/bin/env bash
# Builds the configurator and starts its window: on the port given (argument or
# CONFIGURATOR_PORT), or, without one, beside the bundled simulated adapter, which the
# window lists as a virtual port (pick it, press Search). The simulator stops when the
# window closes. Without a display the command-line companion searches instead.
#   scripts/run.sh                 # the window and adapter-sim on a pseudo-terminal
#   scripts/run.sh /dev/ttyUSB0    # a serial port; USB:<serial> for an FTDI device
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
install_deps

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Only the programs: running needs no tests.
cmake --build build/release -j "$(nproc)" --target configurator configurator-cli adapter-sim

app=build/release/app/configurator
cli=build/release/cli/configurator-cli
port="${1:-${CONFIGURATOR_PORT:-}}"
display=yes
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    display=""
    echo "No display here (DISPLAY and WAYLAND_DISPLAY are unset): searching from the command line instead."
fi

if [ -n "$port" ]; then
    if [ -n "$display" ]; then
        # A path the system does not list (a pty, a link) still shows in the window's list.
        case "$port" in /*) export CONFIGURATOR_PORTS="$port${CONFIGURATOR_PORTS:+:$CONFIGURATOR_PORTS}" ;; esac
        exec "$app"
    fi
    exec "$cli" --port "$port" search
fi

# No port: serve the simulated adapter on a pty.
. scripts/sim.sh
# Its boot loader calls for the configurator, as a real one does after the update command.
start_adapter_sim build/release --wait-prompt
echo "Simulated adapter on $pty"
if [ -n "$display" ]; then
    echo "Pick \"$pty (virtual port)\" in the Port list and press Search."
    CONFIGURATOR_PORTS="$pty${CONFIGURATOR_PORTS:+:$CONFIGURATOR_PORTS}" "$app"
else
    "$cli" --port "$pty" search
fi
