#!/usr/bin/env bash
# Debian 13 ("trixie") as a new user meets it, in roots of it made with debootstrap. In a
# developer's root (what scripts/install-deps.sh installs) the README's test command builds
# everything from a copy of the source tree, warning-free, and passes its tests, and the rehearsal
# passes. In a bare root (only Xvfb and the tools that find and photograph a window) the Debian
# package made from BUILD_DIR, here on Debian 12, is installed with apt-get and started under
# Xvfb: its window must appear with the product's caption as its real title, and the package must
# have brought Open Sans. Logs and the window's screenshot go to BUILD_DIR/debian13/.
#
#   scripts/debian13-test.sh [BUILD_DIR]      (default: build; needs root: debootstrap, chroot)
#
# Each root is kept in ~/.cache/vornik-debian13/<release>-<role>-<key> (VORNIK_DEBIAN13_CACHE
# moves the folder), keyed by the release and the packages it was made with; a changed key makes
# a new root and removes the old one. A root is made under another name and renamed only when
# whole, so an interrupted run never leaves one that counts, and a root that lacks a package of
# its list fails the job. Every run works on overlays of the cached roots, which stay as made.
# Compiler output is cached (ccache) beside the roots. Prints the seconds each step took.
set -euo pipefail
shopt -s inherit_errexit

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build}" 2>/dev/null && pwd) || {
    echo "debian13-test: no build folder at ${1:-$repo/build}; build first: scripts/test.sh" >&2
    exit 2
}
[ -f "$build/CMakeCache.txt" ] || { echo "debian13-test: $build is not a build folder" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "debian13-test: needs root (debootstrap, chroot, mount)" >&2; exit 2; }

release=trixie
mirror=http://deb.debian.org/debian
cache=${VORNIK_DEBIAN13_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vornik-debian13}
out=$build/debian13

say() { echo "debian13-test: $*"; }

# --- Cost per step, printed on every way out ---------------------------------------------------
costs=()
step_name=""
step_started=$SECONDS
job_started=$SECONDS
step() {
    [ -z "$step_name" ] || costs+=("$((SECONDS - step_started)) s  $step_name")
    step_name=$1
    step_started=$SECONDS
    say "== $1"
}
print_costs() {
    [ -z "$step_name" ] || costs+=("$((SECONDS - step_started)) s  $step_name")
    step_name=""
    say "cost per step:"
    printf '  %s\n' "${costs[@]}"
    say "$((SECONDS - job_started)) s in all"
}

# --- Mounts, processes and folders: nothing stays behind ---------------------------------------
# Everything mounted at or below a path, deepest first.
mounts_below() {
    awk -v p="$1" '$2 == p || index($2, p "/") == 1 { print $2 }' /proc/self/mounts | sort -r
}
# Ends the processes whose root is at or below `root` (started by this job in its chroot), and
# unmounts everything there.
release_root() {
    local root=$1 proc link mount
    for proc in /proc/[0-9]*; do
        link=$(readlink "$proc/root" 2>/dev/null) || continue
        case "$link" in "$root" | "$root"/*) kill -KILL "${proc#/proc/}" 2>/dev/null || true ;; esac
    done
    for mount in $(mounts_below "$root"); do
        umount "$mount" 2>/dev/null || umount -l "$mount" || true
    done
}
# Removes a folder of this job's, never while anything is mounted in it.
remove_folder() {
    release_root "$1"
    if [ -n "$(mounts_below "$1")" ]; then
        say "still mounted below $1, left in place" >&2
        return 1
    fi
    rm -rf --one-file-system "$1"
}
mount_system() {
    local root=$1 dir
    for dir in proc dev dev/pts sys; do
        mount --bind "/$dir" "$root/$dir"
    done
    cp -L /etc/resolv.conf "$root/etc/resolv.conf"
}
# A command in `root` with a fresh machine's environment (no display, no Qt platform), plus the
# given NAME=VALUE settings: in_root ROOT [NAME=VALUE...] -- COMMAND...
in_root() {
    local root=$1
    shift
    local settings=()
    while [ "$1" != -- ]; do
        settings+=("$1")
        shift
    done
    shift
    chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "${settings[@]}" "$@"
}

new=$cache/.new-$$
run=$cache/.run-$$
cleanup() {
    local status=$?
    trap - EXIT
    [ ! -e "$run" ] || remove_folder "$run" || status=1
    [ ! -e "$new" ] || remove_folder "$new" || status=1
    print_costs
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# --- The roots -----------------------------------------------------------------------------------
# cached_root ROLE GROUP...: sets `made` to the cached root of that role, made when missing:
# debootstrap, then scripts/install-deps.sh in it once for each group of arguments (a group is a
# string of package names; an empty one stands for the project's packages).
layout=1 # bumped when the way a root is made changes
cached_root() {
    local role=$1
    shift
    local groups=("$@") group needed=() listed
    for group in "${groups[@]}"; do
        # shellcheck disable=SC2086 # a group is words
        mapfile -t listed < <("$repo/scripts/install-deps.sh" --list $group)
        needed+=("${listed[@]}")
    done
    local key
    key=$release-$role-$(printf '%s\n' "layout $layout" "variant minbase" "${needed[@]}" \
        | sha256sum | cut -c1-16)
    local root=$cache/$key
    if [ -d "$root" ]; then
        say "reusing $root"
    else
        say "making $root (debootstrap, then scripts/install-deps.sh in it)"
        debootstrap --variant=minbase "$release" "$new" "$mirror" >"$out/debootstrap.log" 2>&1 \
            || { tail -20 "$out/debootstrap.log"; return 1; }
        # The archive's updates too, as on an installed machine; no service started in a chroot.
        printf 'deb %s %s main\n' "$mirror" "$release" "$mirror" "$release-updates" \
            http://deb.debian.org/debian-security "$release-security" \
            >"$new/etc/apt/sources.list"
        printf '#!/bin/sh\nexit 101\n' >"$new/usr/sbin/policy-rc.d"
        chmod 0755 "$new/usr/sbin/policy-rc.d"
        mount_system "$new"
        cp "$repo/scripts/install-deps.sh" "$new/tmp/install-deps.sh"
        for group in "${groups[@]}"; do
            # shellcheck disable=SC2086
            in_root "$new" -- /tmp/install-deps.sh $group
        done
        in_root "$new" -- apt-get clean
        rm "$new/tmp/install-deps.sh"
        release_root "$new"
        local old
        for old in "$cache/$release-$role"-*; do
            [ ! -e "$old" ] || remove_folder "$old"
        done
        mv "$new" "$root"
    fi
    # A root that lacks any package of its list fails here, whatever made it so.
    local lacking
    lacking=$(chroot "$root" dpkg-query -W -f='${Package} ${Status}\n' "${needed[@]}" 2>&1 \
        | grep -v ' install ok installed$' || true)
    if [ -n "$lacking" ]; then
        say "the root $root lacks packages it was made with; remove it to have it made again:" >&2
        echo "$lacking" >&2
        return 1
    fi
    made=$root
}
# overlay LOWER NAME: sets `made` to an overlay of a cached root for this run, its changes thrown
# away at the end.
overlay() {
    local lower=$1 top=$run/$2
    mkdir -p "$top/changes" "$top/work" "$top/root"
    mount -t overlay overlay -o "lowerdir=$lower,upperdir=$top/changes,workdir=$top/work" \
        "$top/root"
    mount_system "$top/root"
    made=$top/root
}

step "the Debian 13 roots"
"$repo/scripts/install-deps.sh" debootstrap
mkdir -p "$cache" "$out"
# What interrupted runs left (their makers are gone).
for left in "$cache"/.new-* "$cache"/.run-*; do
    [ -e "$left" ] || continue
    kill -0 "${left##*-}" 2>/dev/null || remove_folder "$left" || true
done
# The developer's machine: the README's packages, and ccache for this job's repeated builds.
cached_root developer "" ccache
developer=$made
# A machine that has never seen the project: only what shows a window and photographs it.
cached_root bare "xvfb xauth xdotool x11-utils imagemagick"
bare=$made
say "Debian $(cat "$developer/etc/debian_version"): $(chroot "$developer" dpkg-query -W \
    -f='Qt ${Version}' qt6-base-dev), $(chroot "$developer" g++ --version | head -1), \
$(chroot "$developer" cmake --version | head -1)"

overlay "$developer" developer
root=$made
mkdir -p "$root/var/cache/vornik-ccache" "$cache/ccache"
mount --bind "$cache/ccache" "$root/var/cache/vornik-ccache"

step "a copy of the source tree"
mkdir -p "$root/src/vornikfdu"
(cd "$repo" && git ls-files -z --cached --others --exclude-standard \
    | tar --null -T - --ignore-failed-read -cf -) | tar -xf - -C "$root/src/vornikfdu"

build_settings=(CCACHE_DIR=/var/cache/vornik-ccache CCACHE_MAXSIZE=3G
    CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache)
[ -z "${CMAKE_BUILD_PARALLEL_LEVEL:-}" ] \
    || build_settings+=("CMAKE_BUILD_PARALLEL_LEVEL=$CMAKE_BUILD_PARALLEL_LEVEL")

step "the README's test command: scripts/test.sh"
status=0
in_root "$root" "${build_settings[@]}" -- bash -c 'cd /src/vornikfdu && scripts/test.sh' 2>&1 \
    | tee "$out/test.log" || status=$?
[ "$status" -eq 0 ] || { say "scripts/test.sh failed (exit $status); see $out/test.log" >&2; exit 1; }
if grep -E ': warning:|^CMake Warning' "$out/test.log"; then
    say "the build warns on Debian 13" >&2
    exit 1
fi
say "built without a warning; $(grep -E 'tests passed|tests failed' "$out/test.log" | tail -1)"

step "the rehearsal: scripts/bench.sh without a display"
status=0
in_root "$root" "${build_settings[@]}" -- bash -c 'cd /src/vornikfdu && scripts/bench.sh' 2>&1 \
    | tee "$out/rehearsal.log" | tail -3 || status=$?
[ "$status" -eq 0 ] || { say "the rehearsal failed; see $out/rehearsal.log" >&2; exit 1; }

step "the package made on Debian 12, installed with apt-get on a bare Debian 13"
cmake --build "$build" >/dev/null
rm -rf "$out/package"
(cd "$build" && cpack -G DEB -B "$out/package" >/dev/null)
deb=$(ls "$out/package"/vornikfdu_*.deb)
overlay "$bare" bare
root=$made
# The packages apt fetches are kept beside the roots, so that a run with its cache downloads none.
mkdir -p "$cache/bare-archives/partial"
mount --bind "$cache/bare-archives" "$root/var/cache/apt/archives"
cp "$deb" "$root/tmp/"
if in_root "$root" -- dpkg-query -W fonts-open-sans >/dev/null 2>&1 \
    || [ -e "$root/usr/share/fonts/truetype/open-sans" ]; then
    say "the bare root has Open Sans already: it could not show what the package brings" >&2
    exit 1
fi
install_package() {
    in_root "$root" DEBIAN_FRONTEND=noninteractive -- \
        apt-get install -y -q "/tmp/${deb##*/}" >"$out/install.log" 2>&1
}
# The root's package lists are as old as the root; a package since replaced in the archive is
# found after an update.
install_package || { in_root "$root" -- apt-get update -qq && install_package; } \
    || { cat "$out/install.log"; exit 1; }
in_root "$root" -- apt-get autoclean -qq
face=$(in_root "$root" -- fc-match -f '%{family[0]}' 'Open Sans')
if [ "$face" != "Open Sans" ]; then
    say "installing the package brought no Open Sans (the face is $face)" >&2
    exit 1
fi
say "installed ${deb##*/} with $(grep -c '^Setting up' "$out/install.log") packages; Open Sans among them"

step "the installed program under Xvfb"
product=$(sed -n 's/^VORNIK_PRODUCT_NAME:STRING=//p' "$build/CMakeCache.txt")
caption="$product FDU"
status=0
in_root "$root" -- bash -s "$caption" <<'EOF' || status=$?
set -euo pipefail
shopt -s inherit_errexit
caption=$1
Xvfb :7 -screen 0 1280x800x24 -nolisten tcp >/tmp/xvfb.log 2>&1 &
xvfb=$!
program=""
trap 'kill $program $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    [ -S /tmp/.X11-unix/X7 ] && break
    sleep 0.1
done
[ -S /tmp/.X11-unix/X7 ] || { echo "Xvfb did not start:"; cat /tmp/xvfb.log; exit 1; }
export DISPLAY=:7
/usr/bin/VornikFDU >/tmp/program.log 2>&1 &
program=$!
# The window whose title is the caption, read from the X server as a window manager reads it.
window=""
for _ in $(seq 300); do
    for id in $(xdotool search --onlyvisible --name . 2>/dev/null || true); do
        [ "$(xdotool getwindowname "$id")" = "$caption" ] && window=$id
    done
    [ -n "$window" ] && break
    kill -0 "$program" 2>/dev/null || { echo "VornikFDU ended:"; cat /tmp/program.log; exit 1; }
    sleep 0.1
done
if [ -z "$window" ]; then
    echo "no window titled \"$caption\"; the windows there:"
    xwininfo -root -tree | grep '"' || true
    exit 1
fi
sleep 2 # its first paint
kill -0 "$program" || { echo "VornikFDU ended:"; cat /tmp/program.log; exit 1; }
xwininfo -id "$window" | grep -E 'xwininfo|Width|Height'
import -window "$window" /tmp/window.png
EOF
cp "$root/tmp/program.log" "$out/program.log" 2>/dev/null || true
[ "$status" -eq 0 ] || { say "the installed program did not show its window" >&2; exit 1; }
cp "$root/tmp/window.png" "$out/window.png"
say "the window \"$caption\" appeared; its picture: $out/window.png"
step "cleaning up"
