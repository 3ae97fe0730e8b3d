#!/usr/bin/env bash
# Builds the plug-in module and the tools, then runs the main job: prints what the module
# reports to a host.
set -euo pipefail
cd "$(dirname "$0")"
. .ci/deps.sh
need $BUILD_PACKAGES

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVEX_TESTS=OFF
cmake --build build
./build/morvex-render --info
echo "module: build/morvex.so"
