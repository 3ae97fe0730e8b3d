# Sourced by build.sh and test.sh: installs the Debian packages a step needs, only those
# that are missing, so a machine that has them all never touches the network.

# Packages that building the module, the host library and the tools needs.
BUILD_PACKAGES="g++ cmake ninja-build pkg-config libsndfile1-dev"
# Packages that the test suite adds; dpf-plugins-vst is the third-party module the tools'
# tests drive.
TEST_PACKAGES="libgtest-dev libgmock-dev libbenchmark-dev binutils python3 dpf-plugins-vst"
# What redrawing the plots in docs/plots needs (./build.sh plots).
PLOT_PACKAGES="gnuplot-nox"
# The Windows cross builds: compilers, GoogleTest's sources to build for Windows, and Wine
# for the 64-bit tests. Never wine32: 32-bit programs cannot start on these machines, and
# it takes /usr/bin/wine over.
WINDOWS_PACKAGES="g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix googletest"
WINE_PACKAGES="wine wine64"

need() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
