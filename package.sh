#!/usr/bin/env bash
# Builds the three shipped modules in Release and collects them, with the README and the
# licence, in dist/:
#   dist/linux-x86_64/morvex.so   dist/windows-x64/morvex.dll   dist/windows-x86/morvex.dll
set -euo pipefail
cd "$(dirname "$0")"
. .ci/deps.sh
need $BUILD_PACKAGES $WINDOWS_PACKAGES

jobs=$(nproc)

# package NAME BUILD-FOLDER [CMAKE-ARGS...]: the module alone, stripped, into dist/NAME.
package() {
    local name=$1 dir=$2
    shift 2
    echo; echo "=== $name"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVEX_TESTS=OFF -DMORVEX_TOOLS=OFF \
          -DMORVEX_VST_DIR=. "$@"
    cmake --build "$dir" --target morvex -j "$jobs"
    cmake --install "$dir" --prefix "dist/$name" --strip
}

rm -rf dist
package linux-x86_64 build-dist-linux
package windows-x64 build-dist-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake
package windows-x86 build-dist-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
cp README.md LICENSE dist/

echo; echo "dist/:"; find dist -type f | sort
