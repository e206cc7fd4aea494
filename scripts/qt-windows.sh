#!/usr/bin/env bash
# Builds Qt for 64-bit Windows (qtbase: Core, Gui, Widgets, Test, the windows platform plugin
# and the windowsvista style) with MinGW-w64, from Debian's own source package of the Qt the
# build machine has, so that moc and lrelease of the build machine match the DLLs exactly.
#
# The result goes into a cache folder named after Qt's version and a hash of the configure
# flags; a finished folder is reused at once. Prints the folder on its last line.
#
#   VORNIK_QT_WINDOWS_CACHE   the cache root (default: ~/.cache/vornik-qt-windows)
#
# Shared DLLs: the LGPL lets an operator replace Qt's DLLs beside the executable, and the zip
# stays small enough.
#
# An interrupted build is taken up where it stopped: the source, the configured build folder and
# what Ninja finished stay in the cache beside the result until it is complete.
#
# Usage: scripts/qt-windows.sh [--cached | --within SECONDS]
#   --cached           only report a finished cache folder (exit 1 when there is none)
#   --within SECONDS   stop after SECONDS (fetching, configuring and building) and exit 3; the
#                      next call takes it up
set -euo pipefail
cached_only=0
within=0
case "${1:-}" in
--cached) cached_only=1 ;;
--within) within="${2:?--within needs a number of seconds}" ;;
"") ;;
*)
    echo "qt-windows: unknown argument $1 (usage: $0 [--cached | --within SECONDS])" >&2
    exit 2
    ;;
esac
cd "$(dirname "$0")/.."
repo="$(pwd)"
start=$SECONDS
say() { echo "qt-windows: [$((SECONDS - start)) s] $*" >&2; }

cache_root="${VORNIK_QT_WINDOWS_CACHE:-$HOME/.cache/vornik-qt-windows}"
version="$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || true)"
if [ -z "$version" ]; then
    echo "qt-windows: qt6-base-dev is not installed (scripts/install-deps.sh installs it)" >&2
    exit 2
fi
for tool in x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-g++-posix cmake ninja dpkg-source; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "qt-windows: $tool not found (scripts/install-deps.sh installs it)" >&2
        exit 2
    fi
done

# Bundled libraries, because Debian ships none of them for MinGW; the modules the product does
# not use are left out, which also saves half the build time.
flags=(
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=ON
    -DQT_HOST_PATH=/usr
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DQT_QMAKE_TARGET_MKSPEC=win32-g++
    -DQT_BUILD_EXAMPLES=OFF
    -DQT_BUILD_TESTS=OFF
    -DFEATURE_system_zlib=OFF
    -DFEATURE_system_pcre2=OFF
    -DFEATURE_system_png=OFF
    -DFEATURE_system_freetype=OFF
    -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_jpeg=OFF
    -DFEATURE_sql=OFF
    -DFEATURE_network=OFF
    -DFEATURE_dbus=OFF
    -DFEATURE_opengl=OFF
    -DFEATURE_printsupport=OFF
    -DFEATURE_tabletevent=OFF
)
patches=("$repo"/scripts/qt-windows-patches/*.patch)
[ -e "${patches[0]}" ] || patches=()
key_text="$version ${flags[*]} $(x86_64-w64-mingw32-g++-posix -dumpfullversion)"
for p in "${patches[@]}"; do key_text+=" $(sha256sum "$p" | cut -c1-16)"; done
key="qt-${version//[^A-Za-z0-9.]/_}-$(printf '%s' "$key_text" | sha256sum | cut -c1-12)"
prefix="$cache_root/$key"

fetch_and_configure() {
    # The source package comes from the archive the machine already installs from.
    if ! apt-get source --print-uris "qt6-base=$version" >/dev/null 2>&1; then
        list=/etc/apt/sources.list.d/vornik-deb-src.sources
        say "adding a deb-src entry ($list) and updating the package lists"
        SUDO=""
        [ "$(id -u)" -eq 0 ] || SUDO="sudo"
        # The archives the machine installs from, in either of apt's layouts: deb822 files
        # (*.sources, as Debian 12 and later set up) and one-line entries (sources.list, *.list).
        entries="$(mktemp)"
        for f in /etc/apt/sources.list.d/*.sources; do
            [ -f "$f" ] && [ "$f" != "$list" ] || continue
            sed -e 's/^Types: deb$/Types: deb-src/' "$f" >>"$entries"
            echo >>"$entries"
        done
        for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
            [ -f "$f" ] || continue
            sed -n -E 's/^deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]+)[[:space:]]+([^[:space:]]+)[[:space:]]+(.*)$/Types: deb-src\nURIs: \2\nSuites: \3\nComponents: \4\n/p' "$f" >>"$entries"
        done
        if ! grep -q '^Types: deb-src' "$entries"; then
            rm -f "$entries"
            echo "qt-windows: no archive found in /etc/apt to take the source package from" >&2
            exit 2
        fi
        # Put in place whole or not at all: a half-written list would break every apt-get.
        $SUDO install -m 0644 "$entries" "$list"
        rm -f "$entries"
        $SUDO apt-get update -qq
    fi
    say "fetching the source package qt6-base=$version"
    (cd "$work" && apt-get source -qq --download-only "qt6-base=$version" >/dev/null)
    dsc="$(ls "$work"/qt6-base_*.dsc)"
    (cd "$work" && dpkg-source --no-check -x "$dsc" src >/dev/null)
    for p in "${patches[@]}"; do
        say "applying $(basename "$p")"
        patch -d "$work/src" -p1 --forward <"$p"
    done

    cat >"$work/toolchain.cmake" <<'EOF'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
EOF

    say "configuring"
    cmake -G Ninja -S "$work/src" -B "$work/build" \
        -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
        "${flags[@]}" >"$work/configure.log" 2>&1 || {
        tail -n 60 "$work/configure.log" >&2
        echo "qt-windows: configuring Qt failed (log: $work/configure.log)" >&2
        exit 1
    }
}

reuse() {
    if [ -f "$prefix/.complete" ]; then
        say "reusing $prefix"
        echo "$prefix"
        exit 0
    fi
}
reuse
if [ "$cached_only" -eq 1 ]; then
    say "no finished Qt for Windows in $prefix"
    exit 1
fi
# One build per cache folder at a time: a second caller waits for the first and then reuses
# its result, instead of deleting the folder under it.
mkdir -p "$cache_root"
exec 9>"$cache_root/$key.lock"
if ! flock -n 9; then
    say "another build of this Qt is running; waiting for it"
    flock 9
fi
reuse

work="$cache_root/$key.work"
rm -rf "$prefix"
if [ -f "$work/build/build.ninja" ]; then
    say "taking up the unfinished build of Qt $version for Windows in $work"
else
    say "building Qt $version for Windows into $prefix (about 45 minutes on 2 busy cores)"
    rm -rf "$work"
    mkdir -p "$work"
    fetch_and_configure
fi

say "building (progress: [done/total] steps)"
jobs="${VORNIK_QT_WINDOWS_JOBS:-$(nproc)}"
limit=()
if [ "$within" -gt 0 ]; then
    # What installing takes is left out; it is a minute at most.
    left=$((within - (SECONDS - start)))
    if [ "$left" -le 0 ]; then
        say "no time left within $within s; the next call builds"
        exit 3
    fi
    limit=(timeout --signal=INT "$left")
fi
# Ninja's own progress lines, one in fifty, so a CI log shows that it moves.
status=0
NINJA_STATUS="[%f/%t %es] " "${limit[@]}" nice -n 10 ninja -C "$work/build" -j "$jobs" 2>&1 |
    awk '/^\[[0-9]+\/[0-9]+ / { n++; if (n % 50 == 1) { print; fflush() } next }
         /error|Error|FAILED/ { print; fflush() }' >&2 || status=$?
if [ "$status" -eq 124 ] || [ "$status" -eq 130 ]; then
    say "not finished within $within s; the next call takes it up ($(ninja -C "$work/build" -n 2>/dev/null | grep -c '^\[') steps left)"
    exit 3
elif [ "$status" -ne 0 ]; then
    echo "qt-windows: building Qt failed (rerun: ninja -C $work/build)" >&2
    exit 1
fi
say "installing"
ninja -C "$work/build" install >"$work/install.log" 2>&1 || {
    tail -n 40 "$work/install.log" >&2
    exit 1
}
printf '%s\n' "$key_text" >"$prefix/.complete"
rm -rf "$work"
say "done: $(du -sh "$prefix" | cut -f1) in $prefix, $(((SECONDS - start) / 60)) min"
echo "$prefix"
