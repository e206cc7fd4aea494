#!/usr/bin/env bash
# Runs the guest tests against the kernel's own USB printer driver: boots Debian 12's kernel
# under QEMU (software emulation, no KVM needed) with emulated printers on its USB gadget stack,
# and Debian's systemd-udevd in the guest, so that hot-plug notices and node access are real.
#
#   scripts/qemu-test.sh [BUILD_DIR]      (default: build, as configured by `cmake --preset default`)
#
# The kernel is taken from Debian's linux-image-amd64 once and kept in the cache folder
# (VORNIK_QEMU_CACHE, default ~/.cache/vornik-qemu), so a kernel update in the archive does not
# change a run behind our back; VORNIK_QEMU_NEW_KERNEL=1 takes the archive's current one.
# Debian's udevd, ipp-usb and CUPS usb backend are taken and kept the same way, and Debian 13's
# ipp-usb with its own libraries beside them.
# VORNIK_QEMU_ONLY=name[,name] runs only those guest tests.
# Exits non-zero when a guest test failed or the guest did not finish.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build}" 2>/dev/null && pwd) || {
    echo "qemu-test: no build folder at ${1:-$repo/build}; configure first: cmake --preset default" >&2
    exit 2
}
cache=${VORNIK_QEMU_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vornik-qemu}
work=$build/qemu
guest_limit=${VORNIK_QEMU_GUEST_LIMIT:-900} # the guest's own watchdog, seconds
host_limit=$((guest_limit + 60))             # QEMU itself, should the guest's watchdog fail
started=$(date +%s)

say() { echo "qemu-test: $*"; }
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

# --- Host tools ------------------------------------------------------------------------------
"$repo/scripts/install-deps.sh" qemu-system-x86 busybox-static cpio kmod

# --- Kernel ----------------------------------------------------------------------------------
# Only the kernel image and the modules of the USB gadget and printer stack, in load order.
modules=(
    kernel/drivers/usb/common/usb-common.ko
    kernel/drivers/usb/core/usbcore.ko
    kernel/drivers/usb/gadget/udc/udc-core.ko
    kernel/drivers/usb/gadget/udc/dummy_hcd.ko
    kernel/fs/configfs/configfs.ko
    kernel/drivers/usb/gadget/libcomposite.ko
    kernel/drivers/usb/gadget/function/usb_f_printer.ko
    kernel/drivers/usb/gadget/function/usb_f_fs.ko
    kernel/drivers/usb/class/usblp.ko
)

# Downloads Debian packages of this machine's archive into the current folder. A fresh machine
# has no package lists yet: they are fetched once, when the first try finds nothing.
apt_download() { apt-get download -qq -o APT::Sandbox::User=root "$@"; }
apt_download_fresh() { apt_download "$@" 2>/dev/null || { $SUDO apt-get update -qq && apt_download "$@"; }; }

fetch_kernel() {
    local download
    download=$(mktemp -d)
    trap 'rm -rf "$download"' RETURN
    (
        cd "$download"
        apt_download_fresh linux-image-amd64
        # The meta package names the versioned one, e.g. linux-image-6.1.0-57-amd64 (= 6.1.192-3).
        local package
        package=$(dpkg-deb -f linux-image-amd64_*.deb Depends | grep -o 'linux-image-[0-9][^ ,]*' | head -1)
        [ -n "$package" ] || { echo "qemu-test: linux-image-amd64 names no kernel package" >&2; exit 1; }
        apt_download "$package"
    )
    local deb
    deb=$(ls "$download"/linux-image-[0-9]*.deb)
    local version=${deb##*/linux-image-}
    version=${version%%_*}
    local target=$cache/kernel-$version
    local paths=("./boot/vmlinuz-$version")
    for module in "${modules[@]}"; do
        paths+=("./lib/modules/$version/$module")
    done
    mkdir -p "$download/x"
    dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$download/x" "${paths[@]}"
    rm -rf "$target.new"
    mkdir -p "$target.new/modules"
    cp "$download/x/boot/vmlinuz-$version" "$target.new/vmlinuz"
    for module in "${modules[@]}"; do
        cp "$download/x/lib/modules/$version/$module" "$target.new/modules/"
    done
    dpkg-deb -W --showformat='${Package} ${Version}' "$deb" >"$target.new/package"
    rm -rf "$target"
    mv "$target.new" "$target"
}

mkdir -p "$cache"
kernel=$(ls -d "$cache"/kernel-* 2>/dev/null | grep -v '\.new$' | sort -V | tail -1 || true)
# A cached kernel from before a module joined the list is taken again.
for module in "${modules[@]}"; do
    [ -z "$kernel" ] || [ -f "$kernel/modules/${module##*/}" ] || kernel=""
done
if [ -z "$kernel" ] || [ "${VORNIK_QEMU_NEW_KERNEL:-0}" = 1 ]; then
    say "taking the kernel from Debian's linux-image-amd64 into $cache"
    fetch_kernel
    kernel=$(ls -d "$cache"/kernel-* | grep -v '\.new$' | sort -V | tail -1)
fi
say "kernel ${kernel##*/kernel-} from $(cat "$kernel/package") (cached in $kernel)"

# --- udev ------------------------------------------------------------------------------------
# Debian's own systemd-udevd (udevadm under another name) from the archive's udev package, kept
# in the cache folder like the kernel. Taken from the package rather than installed: the build
# machine needs no udev of its own, and its /dev stays as it is. VORNIK_QEMU_NEW_KERNEL=1 takes
# the archive's current one along with the kernel.
udev_dir=$(ls -d "$cache"/udev-* 2>/dev/null | grep -v '\.new$' | sort -V | tail -1 || true)
if [ -z "$udev_dir" ] || [ "${VORNIK_QEMU_NEW_KERNEL:-0}" = 1 ]; then
    say "taking systemd-udevd from Debian's udev package into $cache"
    download=$(mktemp -d)
    (
        cd "$download"
        apt_download_fresh udev
    )
    deb=$(ls "$download"/udev_*.deb)
    version=$(dpkg-deb -f "$deb" Version)
    udev_dir=$cache/udev-$version
    rm -rf "$udev_dir.new"
    mkdir -p "$udev_dir.new"
    dpkg-deb -x "$deb" "$download/x"
    cp "$download/x/bin/udevadm" "$download/x/lib/udev/rules.d/50-udev-default.rules" \
        "$udev_dir.new/"
    rm -rf "$download" "$udev_dir"
    mv "$udev_dir.new" "$udev_dir"
fi
say "udev ${udev_dir##*/udev-} (cached in $udev_dir)"

# --- Printing system -------------------------------------------------------------------------
# What a Debian desktop with printing runs against USB printers: ipp-usb (it takes over devices
# with IPP-over-USB interfaces) and CUPS's usb backend (discovery opens every printer), with
# their quirks files and ipp-usb's udev rule. The backend lives in the cups package (under
# backend-available, linked into backend by its maintainer script), the quirks in
# cups-server-common. Libraries the host lacks come from their Debian packages as well.
printing_binaries=(ipp-usb cups-usb)

# The library packages a package depends on that the host has not installed.
uninstalled_library_depends() {
    local package
    for package in $(dpkg-deb -f "$1" Depends | tr ',|' '\n\n' | sed 's/(.*//; s/:.*//; s/ //g' \
        | grep '^lib' | sort -u); do
        [ "$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null)" = installed ] \
            || echo "$package"
    done
}
missing_libraries() { # DIR: the libraries its binaries need that neither the host nor DIR has
    local binary
    for binary in "${printing_binaries[@]}"; do
        LD_LIBRARY_PATH=$1/lib ldd "$1/$binary" | awk '/not found/ { print $1 }'
    done | sort -u
}

fetch_printing() {
    local download
    download=$(mktemp -d)
    trap 'rm -rf "$download"' RETURN
    (
        cd "$download"
        apt_download_fresh ipp-usb cups cups-server-common
    )
    local ipp_version cups_version
    ipp_version=$(dpkg-deb -f "$download"/ipp-usb_*.deb Version)
    cups_version=$(dpkg-deb -f "$download"/cups_*.deb Version)
    local target=$cache/printing-$ipp_version-$cups_version
    local deb
    for deb in "$download"/*.deb; do
        dpkg-deb -x "$deb" "$download/x"
    done
    rm -rf "$target.new"
    mkdir -p "$target.new/lib" "$target.new/ipp-usb-quirks"
    local x=$download/x
    cp "$x/sbin/ipp-usb" "$target.new/ipp-usb"
    cp "$x/usr/lib/cups/backend-available/usb" "$target.new/cups-usb"
    cp "$x/usr/share/cups/usb/org.cups.usb-quirks" "$x/lib/udev/rules.d/71-ipp-usb.rules" \
        "$target.new/"
    cp "$x"/usr/share/ipp-usb/quirks/*.conf "$target.new/ipp-usb-quirks/"
    # Rounds of: the library packages named by the packages taken so far, until ldd is content.
    local taken=("$download"/*.deb) round
    for round in 1 2 3 4; do
        [ -n "$(missing_libraries "$target.new")" ] || break
        local wanted
        wanted=$(for deb in "${taken[@]}"; do uninstalled_library_depends "$deb"; done | sort -u)
        mkdir -p "$download/lib$round"
        # shellcheck disable=SC2086 # one word a package
        [ -z "$wanted" ] || (cd "$download/lib$round" && apt_download $wanted)
        taken=("$download/lib$round"/*.deb)
        [ -e "${taken[0]}" ] || break
        for deb in "${taken[@]}"; do
            dpkg-deb -x "$deb" "$download/lib$round/x"
        done
        find "$download/lib$round/x" -name '*.so*' \( -type f -o -type l \) \
            -exec cp -P {} "$target.new/lib/" \;
    done
    local missing
    missing=$(missing_libraries "$target.new")
    if [ -n "$missing" ]; then
        echo "qemu-test: ipp-usb or the CUPS usb backend still lacks: $missing" \
            "(install the packages that hold them)" >&2
        exit 1
    fi
    echo "ipp-usb $ipp_version, cups $cups_version" >"$target.new/packages"
    rm -rf "$target"
    mv "$target.new" "$target"
}

# printing-[0-9]*: Debian 13's ipp-usb below has a cache folder of the same prefix.
printing=$(ls -d "$cache"/printing-[0-9]* 2>/dev/null | grep -v '\.new$' | sort -V | tail -1) || true
if [ -z "$printing" ] || [ "${VORNIK_QEMU_NEW_KERNEL:-0}" = 1 ]; then
    say "taking ipp-usb and the CUPS usb backend from Debian's packages into $cache"
    fetch_printing
    printing=$(ls -d "$cache"/printing-[0-9]* | grep -v '\.new$' | sort -V | tail -1)
fi
missing=$(missing_libraries "$printing")
if [ -n "$missing" ]; then
    say "the host lost libraries of ipp-usb or the CUPS usb backend: $missing;" \
        "VORNIK_QEMU_NEW_KERNEL=1 takes them again" >&2
    exit 2
fi
say "$(cat "$printing/packages") (cached in $printing)"

# --- Debian 13's ipp-usb -----------------------------------------------------------------------
# Operators run Debian 13 as well, so its ipp-usb binary stands beside Debian 12's in the guest
# (kernel and udevd stay Debian 12's). It needs Debian 13's C library, so it comes with its own
# libraries and is run through their loader: neither glibc replaces the other. The packages come
# from the archive through an apt configuration of our own, so the host's sources, pins and
# package state stay out of it.
trixie_keyring=/usr/share/keyrings/debian-archive-keyring.gpg
trixie_sources="deb [signed-by=$trixie_keyring] http://deb.debian.org/debian trixie main"

# DIR LIBRARY_PATH: the libraries ipp-usb in DIR needs beside the loader, as DIR's loader finds
# them, one "soname path" a line.
trixie_libraries() {
    "$1/lib/ld-linux-x86-64.so.2" --inhibit-cache --library-path "$2" --list "$1/ipp-usb" \
        | awk '$2 == "=>" && $1 !~ /^\// { print $1, $3 }'
}

fetch_trixie_ipp_usb() {
    local apt
    apt=$(mktemp -d)
    trap 'rm -rf "$apt"' RETURN
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/preferences.d" "$apt/debs"
    echo "$trixie_sources" >"$apt/sources.list"
    : >"$apt/status"
    local options=(-qq -o APT::Sandbox::User=root -o Debug::NoLocking=1
        -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts=-
        -o Dir::Etc::Preferences="$apt/preferences"
        -o Dir::Etc::PreferencesParts="$apt/preferences.d"
        -o Dir::State::Lists="$apt/lists" -o Dir::State::status="$apt/status"
        -o Dir::Cache="$apt/cache")
    apt-get "${options[@]}" update
    # ipp-usb and the library packages it needs, to the end of their dependencies (the first of
    # each choice); the host's own libraries count for nothing here.
    local fetched=" " wanted=(ipp-usb) package
    while [ ${#wanted[@]} -gt 0 ]; do
        (cd "$apt/debs" && apt-get "${options[@]}" download "${wanted[@]}")
        for package in "${wanted[@]}"; do fetched+="$package "; done
        wanted=()
        for package in $(for deb in "$apt"/debs/*.deb; do
            dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/|.*//; s/(.*//; s/:.*//; s/ //g'
        done | grep '^lib' | sort -u); do
            [[ "$fetched" == *" $package "* ]] || wanted+=("$package")
        done
    done
    local deb x=$apt/x
    for deb in "$apt"/debs/*.deb; do
        dpkg-deb -x "$deb" "$x"
    done
    local version
    version=$(dpkg-deb -f "$apt"/debs/ipp-usb_*.deb Version)
    local target=$cache/printing-trixie-$version
    rm -rf "$target.new"
    mkdir -p "$target.new/lib"
    cp "$x/usr/sbin/ipp-usb" "$target.new/ipp-usb"
    cp -L "$x/usr/lib/x86_64-linux-gnu/ld-linux-x86-64.so.2" "$target.new/lib/"
    # Only the libraries it loads: libc6 alone holds many more.
    local soname path
    while read -r soname path; do
        case "$path" in
        "$x"/*) cp -L "$path" "$target.new/lib/$soname" ;;
        *)
            echo "qemu-test: Debian 13's ipp-usb needs $soname, which its packages lack" >&2
            exit 1
            ;;
        esac
    done < <(trixie_libraries "$target.new" "$x/usr/lib/x86_64-linux-gnu")
    for deb in "$apt"/debs/*.deb; do
        dpkg-deb -W --showformat='${Package} ${Version}\n' "$deb"
    done >"$target.new/packages"
    rm -rf "$target"
    mv "$target.new" "$target"
}

trixie=$(ls -d "$cache"/printing-trixie-* 2>/dev/null | grep -v '\.new$' | sort -V | tail -1 || true)
if [ -z "$trixie" ] || [ "${VORNIK_QEMU_NEW_KERNEL:-0}" = 1 ]; then
    say "taking Debian 13's ipp-usb and its libraries from the archive into $cache"
    fetch_trixie_ipp_usb
    trixie=$(ls -d "$cache"/printing-trixie-* | grep -v '\.new$' | sort -V | tail -1)
fi
# Every library from its own folder, none from the host's.
if trixie_libraries "$trixie" "$trixie/lib" | grep -qv " $trixie/lib/"; then
    say "Debian 13's ipp-usb in $trixie takes libraries from outside it;" \
        "VORNIK_QEMU_NEW_KERNEL=1 takes it again" >&2
    exit 2
fi
say "Debian 13's $(head -1 "$trixie/packages") (cached in $trixie)"

# --- Guest programs --------------------------------------------------------------------------
if [ ! -f "$build/CMakeCache.txt" ]; then
    say "$build is not a configured build folder; configure first: cmake --preset default" >&2
    exit 2
fi
cmake --build "$build" --target vornik_qemu_guest
manifest=$build/tests/qemu/guest_programs.txt
[ -f "$manifest" ] || { say "no $manifest: is tests/qemu part of the build?" >&2; exit 2; }
# VORNIK_QEMU_BENCHMARK=1: the guest benchmark (benchmarks/guest_transfer.cpp) runs after the tests.
manifests=("$manifest")
if [ "${VORNIK_QEMU_BENCHMARK:-0}" = 1 ]; then
    cmake --build "$build" --target vornik_guest_benchmark
    manifests+=("$build/benchmarks/guest_programs.txt")
    guest_limit=$((guest_limit + 300))
    host_limit=$((guest_limit + 60))
fi

# --- Initramfs -------------------------------------------------------------------------------
root=$work/root
rm -rf "$root"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,run,lib/modules,opt/vornik/bin,etc}
cp /bin/busybox "$root/bin/busybox"
cp "$kernel"/modules/*.ko "$root/lib/modules/"
cp "$repo/tests/qemu/guest_init.sh" "$root/init"
chmod 0755 "$root/init"

# udevd with the stock rule that gives usblp's nodes to group lp, and our package's rule where
# the package installs it. Two accounts for the access tests: one outside lp, one in it.
mkdir -p "$root/lib/systemd" "$root/lib/udev/rules.d"
cp "$udev_dir/udevadm" "$root/bin/udevadm"
ln -s /bin/udevadm "$root/lib/systemd/systemd-udevd"
cp "$udev_dir/50-udev-default.rules" "$repo/packaging/70-vornikfdu-printers.rules" \
    "$root/lib/udev/rules.d/"
cat >"$root/etc/passwd" <<'EOF'
root:x:0:0:root:/tmp:/bin/sh
operator:x:1000:1000:without lp:/tmp:/bin/sh
lpoperator:x:1001:1001:in lp:/tmp:/bin/sh
EOF
cat >"$root/etc/group" <<'EOF'
root:x:0:
lp:x:7:lpoperator
operator:x:1000:
lpoperator:x:1001:
EOF

# A file with its absolute path, so that the loader and Qt find everything where they look on
# the host; symbolic links are followed and kept.
copy_path() {
    local path=$1
    while [ -L "$path" ]; do
        mkdir -p "$root$(dirname "$path")"
        cp -P "$path" "$root$path"
        local link
        link=$(readlink "$path")
        case "$link" in /*) path=$link ;; *) path=$(dirname "$path")/$link ;; esac
    done
    [ -e "$root$path" ] && return
    mkdir -p "$root$(dirname "$path")"
    cp "$path" "$root$path"
}
copy_libraries_of() {
    local library
    for library in $(ldd "$1" 2>/dev/null | grep -o '/[^ ]*' | sort -u); do
        copy_path "$library"
    done
}

: >"$root/opt/vornik/tests.list"
copy_libraries_of "$udev_dir/udevadm"
only_names=${VORNIK_QEMU_ONLY:-}
only=",$only_names,"
for name in ${only_names//,/ }; do
    grep -q "^test $name " "${manifests[@]}" || { say "VORNIK_QEMU_ONLY: no guest test $name" >&2; exit 2; }
done
while read -r kind name seconds program; do
    case "$kind" in
    tool)
        cp "$program" "$root/opt/vornik/bin/$name"
        ;;
    test)
        [ "$only" = ",," ] || [[ "$only" == *",$name,"* ]] || continue
        # Debug information would double the image and is of no use in the guest.
        objcopy --strip-debug "$program" "$root/opt/vornik/bin/$name"
        copy_libraries_of "$program"
        echo "$name $seconds /opt/vornik/bin/$name" >>"$root/opt/vornik/tests.list"
        ;;
    esac
done < <(cat "${manifests[@]}")

# Qt's offscreen platform, found where Qt looks for it, and one font so text has metrics.
qt_plugins=$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/plugins)
copy_path "$qt_plugins/platforms/libqoffscreen.so"
copy_libraries_of "$qt_plugins/platforms/libqoffscreen.so"
mkdir -p "$root/etc/fonts" "$root/usr/share/fonts"
cat >"$root/etc/fonts/fonts.conf" <<'EOF'
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig><dir>/usr/share/fonts</dir><cachedir>/tmp/fontconfig</cachedir></fontconfig>
EOF
for font in /usr/share/fonts/truetype/open-sans/OpenSans-Regular.ttf \
    /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf; do
    [ -f "$font" ] && cp "$font" "$root/usr/share/fonts/"
done

# The printing system as Debian installs it, told to stay off the network: no DNS-SD, HTTP on
# the loopback interface only.
mkdir -p "$root/sbin" "$root/usr/lib/cups/backend" "$root/usr/share/cups/usb" \
    "$root/usr/share/ipp-usb/quirks" "$root/etc/ipp-usb/quirks" "$root/var/ipp-usb" \
    "$root/var/log/ipp-usb" "$root/lib/x86_64-linux-gnu"
cp "$printing/ipp-usb" "$root/sbin/ipp-usb"
cp "$printing/cups-usb" "$root/usr/lib/cups/backend/usb"
cp "$printing/org.cups.usb-quirks" "$root/usr/share/cups/usb/"
cp "$printing"/ipp-usb-quirks/* "$root/usr/share/ipp-usb/quirks/"
cp "$printing/71-ipp-usb.rules" "$root/lib/udev/rules.d/"
# The package's own quirks files, for the tests to install as the package would.
mkdir -p "$root/opt/vornik/packaging"
cp "$build/packaging/ipp-usb-quirks.conf" "$build/packaging/cups-usb-quirks-emulated" \
    "$root/opt/vornik/packaging/"
cat >"$root/etc/ipp-usb/ipp-usb.conf" <<'EOF'
[network]
  dns-sd = disable
  interface = loopback
[logging]
  device-log = all
  main-log = debug
  console-log = debug
EOF
if compgen -G "$printing/lib/*" >/dev/null; then
    cp -P "$printing"/lib/* "$root/lib/x86_64-linux-gnu/"
fi
for binary in "${printing_binaries[@]}"; do
    for library in $(LD_LIBRARY_PATH=$printing/lib ldd "$printing/$binary" | grep -o '/[^ ]*' \
        | grep -v "^$printing/" | sort -u); do
        copy_path "$library"
    done
done

mkdir -p "$root/opt/trixie"
cp -r "$trixie/ipp-usb" "$trixie/lib" "$root/opt/trixie/"

initramfs=$work/initramfs.cpio
(cd "$root" && find . -print0 | cpio --null -o -H newc --quiet) >"$initramfs"
say "initramfs $(du -m "$initramfs" | cut -f1) MB, $(grep -c . "$root/opt/vornik/tests.list") guest tests"

# --- Boot ------------------------------------------------------------------------------------
log=$work/console.log
say "booting (console in $log)"
boot_started=$(date +%s)
set +e
timeout --kill-after=10 "$host_limit" qemu-system-x86_64 \
    -accel tcg -cpu max -smp 2 -m 1536 \
    -kernel "$kernel/vmlinuz" -initrd "$initramfs" \
    -append "console=ttyS0 quiet loglevel=4 panic=-1 vornik.limit=$guest_limit" \
    -nodefaults -display none -serial stdio -monitor none -no-reboot </dev/null 2>&1 \
    | tr -d '\r' | tee "$log"
qemu_status=${PIPESTATUS[0]}
set -e
boot_took=$(($(date +%s) - boot_started))

# --- Verdict ---------------------------------------------------------------------------------
result=$(grep -a '^vornik-guest: result ' "$log" | tail -1 || true)
expected=$(grep -c . "$root/opt/vornik/tests.list")
passed_tests=$(grep -a '^vornik-guest: PASS ' "$log" | grep -c -v -e 'gadget stack' -e 'usblp sees' -e 'udevd ' || true)
say "guest ran ${boot_took}s, whole job $(($(date +%s) - started))s"
if [ -z "$result" ]; then
    say "FAILED: the guest did not finish (QEMU exit $qemu_status)"
    exit 1
fi
if ! grep -q 'failed=0 ' <<<"$result" || [ "$passed_tests" -ne "$expected" ]; then
    say "FAILED: ${result#vornik-guest: }; $passed_tests of $expected guest tests passed"
    exit 1
fi
say "$passed_tests passed, 0 failed"
