#!/usr/bin/env bash
# Builds the Debian package and checks it as a user's machine would take it: it depends on the
# font the window is laid out for and on its libraries, lintian finds no errors, dpkg installs it
# (running its postinst), and the installed program, desktop entry, icon and udev rule are where
# they belong. The package is removed again at the end.
# Needs root (dpkg). Usage: scripts/package-check.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/CMakeCache.txt" ] || { echo "No build in $build; build first." >&2; exit 2; }

cmake --build "$build"
rm -f "$build"/vornikfdu_*.deb
(cd "$build" && cpack -G DEB > /dev/null)
deb=$(ls "$build"/vornikfdu_*.deb)
echo "== $deb"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'

echo "== dependencies"
depends=$(dpkg-deb -f "$deb" Depends)
# Both kinds: the face the window is laid out for, and the libraries the program links.
for needed in fonts-open-sans libqt6widgets6 libc6; do
    if ! grep -Eq "(^|, )$needed( |,|$)" <<<"$depends"; then
        echo "FAIL the package does not depend on $needed" >&2
        exit 1
    fi
done
echo "ok   depends on fonts-open-sans and on the libraries shlibdeps found"

echo "== lintian (errors fail the check, warnings are shown)"
lintian_status=0
report=$(lintian --fail-on error --tag-display-limit 0 "$deb" 2>&1) || lintian_status=$?
grep -v 'running with root privileges' <<<"$report" || true
[ "$lintian_status" -eq 0 ] || { echo "lintian reports errors" >&2; exit 1; }

echo "== dpkg -i"
# Purged on every way out, a failed install included: a half-configured package would stay on
# the machine otherwise.
trap 'dpkg --purge vornikfdu > /dev/null 2>&1 || true' EXIT
dpkg -i "$deb"

fail=0
check() { if "$@"; then echo "ok   $*"; else echo "FAIL $*"; fail=1; fi; }
check test -x /usr/bin/VornikFDU
check test -f /usr/share/applications/vornikfdu.desktop
check desktop-file-validate /usr/share/applications/vornikfdu.desktop
check test -f /usr/share/icons/hicolor/scalable/apps/vornikfdu.svg
check cmp packaging/70-vornikfdu-printers.rules /lib/udev/rules.d/70-vornikfdu-printers.rules
check grep -qx "\[ZELTAN QXR3303\]" /usr/share/ipp-usb/quirks/vornikfdu.conf
check test -f /usr/share/doc/vornikfdu/copyright
if ldd /usr/bin/VornikFDU | grep -q 'not found'; then
    echo "FAIL the installed program's libraries:"; ldd /usr/bin/VornikFDU | grep 'not found'; fail=1
else
    echo "ok   every library of /usr/bin/VornikFDU is installed"
fi
# The installed program must come up and stay up; it runs until closed, so a timeout is success.
status=0
QT_QPA_PLATFORM=offscreen timeout 5 /usr/bin/VornikFDU > /dev/null 2>&1 || status=$?
if [ "$status" = 124 ]; then
    echo "ok   /usr/bin/VornikFDU starts and keeps running"
else
    echo "FAIL /usr/bin/VornikFDU ended with status $status within 5 s"; fail=1
fi

# The postinst asks a running udev to re-apply the rules to the printers already attached; with a
# stand-in udevadm it shows what it asks for (and that it asks nothing where udev does not run).
fake=$(mktemp -d)
printf '#!/bin/sh\necho "$*" >> "%s/calls"\n' "$fake" > "$fake/udevadm"
chmod +x "$fake/udevadm"
PATH="$fake:$PATH" sh packaging/postinst configure
if [ -d /run/udev ]; then
    check grep -qx 'trigger --subsystem-match=usbmisc --action=change' "$fake/calls"
else
    check test ! -e "$fake/calls"
    echo "     (udev does not run here: the postinst leaves it alone)"
fi
rm -rf "$fake"
exit $fail
