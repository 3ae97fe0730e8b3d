# Sourced by build.sh and test.sh: installs the Debian packages a step needs, only those
# that are missing, so a machine that has them all never touches the network.

# Packages that building the module, the host library and the tools needs.
BUILD_PACKAGES="g++ cmake ninja-build pkg-config libsndfile1-dev"
# Packages that the test suite adds.
TEST_PACKAGES="libgtest-dev libgmock-dev libbenchmark-dev binutils python3"

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
