#!/bin/busybox sh
# The first and only process of the test guest. Mounts what the tests need, loads the USB
# gadget stack, checks that an emulated printer reaches usblp, runs every guest test and powers
# the machine off. The host reads the outcome from the console: one "vornik-guest: PASS|FAIL"
# line per step and a closing "vornik-guest: result" line.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
# ipp-usb serves each printer's HTTP on the loopback interface.
ip link set lo up

say() { echo "vornik-guest: $*"; }
uptime_s() { cut -d' ' -f1 /proc/uptime; }

limit=$(sed -n 's/.*vornik\.limit=\([0-9][0-9]*\).*/\1/p' /proc/cmdline)
[ -n "$limit" ] || limit=300
# Whatever hangs, the machine goes down; the host then finds no result line and fails.
(sleep "$limit"; say "watchdog: no result after ${limit}s"; poweroff -f) &

say "kernel $(uname -r), booted in $(uptime_s)s"
passed=0
failed=0
pass() { passed=$((passed + 1)); say "PASS $*"; }
fail() { failed=$((failed + 1)); say "FAIL $*"; }
finish() {
    say "result passed=$passed failed=$failed after $(uptime_s)s"
    sync
    poweroff -f
}

# The order matters: each module needs the ones before it. Seven dummy controllers give seven
# printers a bus each, one more than the list can hold.
for module in usb-common usbcore udc-core "dummy_hcd num=7" configfs libcomposite \
    usb_f_printer usb_f_fs usblp; do
    set -- $module
    if ! insmod "/lib/modules/$1.ko" $2; then
        fail "loading $1"
        finish
    fi
done
mount -t configfs configfs /sys/kernel/config
if [ -e /sys/class/udc/dummy_udc.0 ] && [ -e /sys/class/udc/dummy_udc.1 ] \
    && [ -e /sys/class/udc/dummy_udc.2 ] && [ -e /sys/class/udc/dummy_udc.3 ]; then
    pass "gadget stack: $(ls /sys/class/udc | tr '\n' ' ')"
else
    fail "gadget stack: controllers: $(ls /sys/class/udc 2>/dev/null | tr '\n' ' ')"
    finish
fi

# Debian's udevd, as on a desktop: it gives usblp's nodes their group and mode, and only the
# events it has processed reach the udev monitor the program listens with.
mkdir -p /run/udev
if /lib/systemd/systemd-udevd --daemon 2>/tmp/udevd.log && udevadm trigger --action=add \
    && udevadm settle --timeout=60; then
    pass "udevd $(udevadm --version) runs, coldplug settled after $(uptime_s)s"
else
    fail "udevd: $(cat /tmp/udevd.log)"
    finish
fi

# One emulated printer, seen from the shell: the node appears and usblp has read its ID.
printer=/opt/vornik/bin/vornik_emulated_printer
mkfifo /tmp/smoke.in
$printer --udc dummy_udc.0 --serial SMOKE1 </tmp/smoke.in >/tmp/smoke.out 2>&1 &
smoke=$!
exec 3>/tmp/smoke.in
waited=0
while [ ! -e /dev/usb/lp0 ] && [ $waited -lt 100 ]; do
    sleep 0.1
    waited=$((waited + 1))
done
id=$(cat /sys/class/usbmisc/lp0/device/ieee1284_id 2>/dev/null)
case "$id" in
*"MFG:ZELTAN;MDL:QXR3303;"*"SN:SMOKE1;"*)
    pass "usblp sees the emulated printer after $((waited * 100)) ms: $id"
    udevadm settle --timeout=10
    access=$(stat -c '%g %a' /dev/usb/lp0)
    if [ "$access" = "7 660" ]; then
        pass "udevd gave lp0 group lp, mode 660"
    else
        fail "udevd gave lp0 '$access' (gid mode), not group lp (7) and mode 660"
    fi ;;
*)
    fail "usblp did not see the emulated printer: node $(ls /dev/usb 2>&1), ID '$id'"
    cat /tmp/smoke.out ;;
esac
exec 3>&-
wait $smoke
waited=0
while [ -e /dev/usb/lp0 ] && [ $waited -lt 20 ]; do
    sleep 0.1
    waited=$((waited + 1))
done
[ -e /dev/usb/lp0 ] && fail "the emulated printer did not leave the bus on quit"

export HOME=/tmp XDG_RUNTIME_DIR=/tmp/runtime QT_QPA_PLATFORM=offscreen
export QT_LOGGING_RULES="qt.qpa.fonts=false" VORNIK_EMULATED_PRINTER=$printer
export VORNIK_HALTING_PRINTER=/opt/vornik/bin/vornik_halting_printer
mkdir -m 0700 /tmp/runtime

# One test per line: name, time limit in seconds, program.
while read -r name seconds program; do
    [ -n "$name" ] || continue
    started=$(uptime_s)
    timeout "$seconds" "$program" </dev/null
    code=$?
    took="$(uptime_s) - $started"
    took=$(awk "BEGIN { print $took }")
    if [ $code -eq 0 ]; then
        pass "$name (${took}s)"
    else
        fail "$name (exit $code after ${took}s)"
    fi
done </opt/vornik/tests.list
finish
