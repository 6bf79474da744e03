#!/usr/bin/env bash
# Pictures of the window's pages, made without a display: the window runs offscreen against
# the simulated adapter, searches, and each page is written as a PNG into DIR.
#   scripts/screenshots.sh docs/screenshots
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:?usage: scripts/screenshots.sh DIR}"
. scripts/deps.sh
install_deps
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)" --target configurator-screenshots adapter-sim
mkdir -p "$dir"

. scripts/sim.sh
# Slow pages, so the update can be pictured half way.
start_adapter_sim build/release --wait-prompt --page-delay 40
cfg=$(mktemp -d)
# Settings of their own, so the pictures do not depend on the user's.
XDG_CONFIG_HOME="$cfg" CONFIGURATOR_PORTS="$pty" QT_QPA_PLATFORM=offscreen \
    build/release/app/configurator-screenshots "$dir"
rm -rf "$cfg"
