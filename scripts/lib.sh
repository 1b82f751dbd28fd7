# Shared by the scripts: where things are, and installing Debian packages only when they are missing.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="$(nproc 2>/dev/null || echo 2)"
# What every build needs: the toolchain, GoogleTest, two header-only libraries (CLI11 for orvexa-cli's
# options, nlohmann-json for its JSON events and rdq-sim's record), libudev (a station's notice of new
# ports) and libsystemd's sd-bus (paired Bluetooth scanners as bt: ports, through BlueZ).
BUILD_PACKAGES=(cmake ninja-build g++ libgtest-dev libcli11-dev nlohmann-json3-dev libudev-dev libsystemd-dev)
# The project's own checks (scripts/test and what it runs: fuzz, test-wine, package-windows) treat a warning
# as an error; a user's build (a plain cmake, scripts/demo, scripts/bench) only shows it.
CHECK_OPTIONS=(-DORVEXA_WERROR=ON)

apt_updated=0
# ensure_packages PKG... : installs the missing ones; returns non-zero when they cannot be had. A user who
# is not root installs through sudo; one who cannot (no sudo, or no rights and no terminal to give a
# password on) is told the command to have run instead.
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null || ! { sudo -n true 2>/dev/null || [ -t 0 ]; }; then
            missing_packages "${missing[@]}"
            return 1
        fi
        sudo=(sudo)
    fi
    echo "Installing: ${missing[*]}"
    if [ $apt_updated -eq 0 ]; then
        "${sudo[@]}" apt-get update -qq || { missing_packages "${missing[@]}"; return 1; }
        apt_updated=1
    fi
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null || { missing_packages "${missing[@]}"; return 1; }
}

missing_packages() {
    echo "These packages are missing and cannot be installed from this account: $*" >&2
    echo "Have them installed as root: apt-get install --no-install-recommends $*" >&2
}

# configure_build DIR [CMAKE-ARGS...] : configures (once) and builds one build tree with Ninja.
configure_build() {
    local dir="$1"
    shift
    cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS"
}

# build_targets DIR TARGET... : builds only what is named, showing Ninja's progress on the terminal.
build_targets() {
    local dir="$1"
    shift
    cmake --build "$dir" -j "$JOBS" --target "$@"
}
