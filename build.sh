#!/usr/bin/env bash
# Builds the plug-in module and the tools, then runs the main job: prints what the module
# reports to a host and renders a demo bass line through it into demo.wav.
# `./build.sh plots` also measures the module and redraws docs/plots.
set -euo pipefail
cd "$(dirname "$0")"
. .ci/deps.sh
need $BUILD_PACKAGES
if [ "${1:-}" = plots ]; then need $PLOT_PACKAGES; fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVEX_TESTS=OFF
cmake --build build
./build/morvex-render --info
./build/morvex-render --demo demo.wav
echo "module: build/morvex.so"
echo "demo:   demo.wav (a bass line through Morvex at its default settings)"
if [ "${1:-}" = plots ]; then
    cmake --build build --target plots
    echo "plots:  docs/plots"
fi
