#!/usr/bin/env bash
# The one list of Debian 12 packages that building, testing and benchmarking Linkherd need.
# Installs only what is missing, so running it again is quick.
set -euo pipefail

packages=(
    cmake
    ninja-build
    ccache
    g++
    pkg-config
    qt6-base-dev
    libqt6svg6
    libicu-dev
    libglib2.0-dev
    libsqlite3-dev
    libxcb1-dev
    desktop-file-utils
    appstream
    dbus-daemon
    xdg-utils
    xvfb
    xdotool
    at-spi2-core
    python3-pyatspi
    # GNOME on Wayland in the tests (tests/app/mutter): the compositor, its XWayland, a GTK window from Python,
    # and Qt's Wayland plugin, with which Linkherd is also tested
    mutter
    xwayland
    python3-gi
    gir1.2-gtk-3.0
    qt6-wayland
    libbenchmark-dev
    libmozjs-102-dev
    libdbus-1-dev
    libsimdjson-dev
    openssl
    # Checking the man page and the shell completions made from the tool's command table
    groff-base
    zsh
    fish
    # The libFuzzer targets (scripts/fuzz.sh): clang with its fuzzer runtime, and the symbolizer for readable
    # stack traces from them and from the sanitizer build (scripts/test-sanitized.sh)
    clang
    libclang-rt-14-dev
    llvm
    # Building and checking the Debian package (scripts/package.sh)
    debhelper
    dpkg-dev
    lintian
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

# Node.js runs the official MCP client in the tests; one from elsewhere (with its own npm) is taken as it is.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    missing+=(nodejs npm)
fi

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
