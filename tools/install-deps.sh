#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need, when
# missing. Needs root (run it with sudo as a normal user).
#
#   bash tools/install-deps.sh [PACKAGE...]            the Linux build, and more
#   bash tools/install-deps.sh --windows [PACKAGE...]  the Windows cross build,
#                                                      its installer and Wine to
#                                                      run its tests
set -euo pipefail

windows=0
if [ "${1:-}" = --windows ]; then
    shift
    windows=1
    packages=(
        cmake ninja-build
        g++-mingw-w64-x86-64-posix googletest libxxhash-dev
        wine wine64 fonts-wine nsis
        librsvg2-bin icoutils locales
        "$@"
    )
else
    packages=(
        build-essential cmake pkg-config
        qt6-base-dev libgl-dev
        mdbtools mdbtools-dev libxxhash-dev
        libgtest-dev libgmock-dev
        python3 unicode-data
        fonts-dejavu-core fonts-liberation2
        dpkg-dev file lintian desktop-file-utils man-db
        "$@"
    )
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Wine takes the user's regional settings from the system's locale, which
# must exist for the window's tests in French.
if [ "${windows:-0}" = 1 ] && ! locale -a 2>/dev/null | grep -qi '^fr_FR\.utf-\?8$'; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO localedef -i fr_FR -f UTF-8 fr_FR.UTF-8
fi
