# Installs the Debian packages the project needs; sourced by ./run and ./test.
# Only missing packages are installed, so running it again costs nothing.

DRUSK_BUILD_PACKAGES="cmake make g++ pkg-config libsdl2-dev libopenmpt-dev libvorbis-dev"
DRUSK_TEST_PACKAGES="libgtest-dev libgmock-dev libbenchmark-dev libstb-dev clang libclang-rt-14-dev
  xvfb xauth libx11-dev libxtst-dev libxfixes-dev zlib1g-dev"

drusk_install_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}
