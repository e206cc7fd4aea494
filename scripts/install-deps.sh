#!/usr/bin/env bash
# Installs everything the build, the tests, the bench and the checks need on Debian 12 or 13.
# Safe to run again: it installs only what is missing.
#
#   scripts/install-deps.sh               the project's packages
#   scripts/install-deps.sh PACKAGE...    just these, without recommended extras (a script's
#                                         own tools, such as QEMU for scripts/qemu-test.sh)
#   scripts/install-deps.sh --list        prints the project's packages, one a line
set -euo pipefail

recommends=()
list=0
if [ "${1:-}" = --list ]; then
    list=1
    shift
fi
if [ $# -gt 0 ]; then
    packages=("$@")
    recommends=(--no-install-recommends)
else
    packages=(
        cmake ninja-build g++ pkg-config dpkg-dev file
        qt6-base-dev qt6-base-private-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
        libudev-dev dbus-daemon
        xvfb xauth imagemagick fonts-open-sans fonts-dejavu-core
        g++-mingw-w64-x86-64 wine64 wine doctest-dev zip unzip
        # clang's runtime (the fuzzer's libraries) of the release's own clang: 14 on Debian 12,
        # 19 on Debian 13. Named without the version, like clang itself.
        clang libclang-rt-dev
        libbenchmark-dev
        lintian desktop-file-utils
        weston qt6-wayland
        at-spi2-core python3-pyatspi
    )
fi
if [ "$list" = 1 ]; then
    printf '%s\n' "${packages[@]}"
    exit 0
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${recommends[@]}" "${missing[@]}"
