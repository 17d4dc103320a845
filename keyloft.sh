#!/usr/bin/env bash
# Builds and runs Keyloft, or builds and runs every test, on a Debian 12 machine.
#   ./keyloft.sh run    build the application and start it
#   ./keyloft.sh test   build everything and run all tests
# Each command installs the Debian packages it needs when they are missing.
set -euo pipefail
cd "$(dirname "$0")"

BUILD_DIR=${KEYLOFT_BUILD_DIR:-build}
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools
    qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libgl-dev libsodium-dev libsecret-1-dev
    libhunspell-dev)
TEST_PACKAGES=(dbus dbus-x11 libglib2.0-bin gnome-keyring libsecret-tools desktop-file-utils xvfb xclip weston wl-clipboard dex
    hunspell-en-us appstream keepassxc)
# Copies reach the clipboard of a Wayland session through wl-copy; the notes are
# spell-checked with an English dictionary when none of the user's language is installed.
RUN_PACKAGES=(wl-clipboard qt6-wayland hunspell-en-us)

ensure_packages() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo=sudo
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
}

build() {
    ensure_packages "${BUILD_PACKAGES[@]}"
    cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$BUILD_DIR" --parallel "$(nproc)"
}

case "${1:-}" in
run)
    ensure_packages "${RUN_PACKAGES[@]}"
    build
    exec "$BUILD_DIR/src/app/Keyloft"
    ;;
test)
    ensure_packages "${TEST_PACKAGES[@]}"
    build
    exec tests/run-tests.sh "$BUILD_DIR"
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
