#!/usr/bin/env bash
# Runs the whole test suite: the native build's tests, then every variant.
set -euo pipefail
cd "$(dirname "$0")"
. .ci/deps.sh
need $BUILD_PACKAGES $TEST_PACKAGES

jobs=$(nproc)

stage() { echo; echo "=== $*"; }

stage "native build and tests"
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-test -j "$jobs"
ctest --test-dir build-test --output-on-failure -j "$jobs" -LE ardour

stage "Ardour 7, headless: scan, insert, automate, bounce, save and re-open"
need ardour python3
MORVEX_REQUIRE_ARDOUR=1 ctest --test-dir build-test --output-on-failure -L ardour

stage "address and undefined-behaviour sanitizers (leaks included)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMORVEX_SANITIZE=address,undefined
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo; echo "all test stages passed"
