#!/usr/bin/env bash
# Pictures of the window's pages, made without a display: the window runs offscreen against
# the simulated adapter, searches, and each page (and an error box) is written as a PNG:
#   DIR/           in English, at the scale of an ordinary screen
#   DIR/ru/        on a Russian desktop
#   DIR/scale-2/   at a scale factor of 2 (a high-DPI screen), in English and in Russian (ru/)
#   scripts/screenshots.sh docs/screenshots
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:?usage: scripts/screenshots.sh DIR}"
. scripts/deps.sh
install_deps
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)" --target configurator-screenshots adapter-sim
. scripts/sim.sh

# One set of pictures into $1, with the window's environment after it.
shoot() {
    local out="$1" cfg
    shift
    mkdir -p "$out"
    # Slow pages, so the update can be pictured half way.
    start_adapter_sim build/release --wait-prompt --page-delay 40
    cfg=$(mktemp -d)
    # Settings of their own, so the pictures do not depend on the user's.
    env LANGUAGE= LC_ALL= LC_MESSAGES= "$@" XDG_CONFIG_HOME="$cfg" CONFIGURATOR_PORTS="$pty" \
        QT_QPA_PLATFORM=offscreen build/release/app/configurator-screenshots "$out"
    rm -rf "$cfg"
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
}
shoot "$dir" LANG=C.UTF-8
shoot "$dir/ru" LANG=ru_RU.UTF-8
shoot "$dir/scale-2" LANG=C.UTF-8 QT_SCALE_FACTOR=2
shoot "$dir/scale-2/ru" LANG=ru_RU.UTF-8 QT_SCALE_FACTOR=2
