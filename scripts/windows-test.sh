#!/usr/bin/env bash
# The whole program for Windows, under Wine on a virtual X display (Xvfb, Wine's X11 driver):
# builds Qt for Windows or reuses it (scripts/qt-windows.sh), builds the mingw preset, makes
# the zip (scripts/windows-package.sh), unpacks it into a fresh Wine prefix, and then
#  1. starts VornikFDU.exe, waits for its window by caption, keeps a screenshot, clicks its
#     close button and wants exit code 0;
#  2. reads the window through UI Automation from another process (tests/windows/uia_names.cpp):
#     the window's own element must say its caption; where the tree below it can be read, no
#     button or list entry may lack a name and no page header may show;
#  3. plays the bench's rehearsal on the windows platform and compares its status lines with
#     the Linux bench's (when build/bench/VornikFDU-bench exists);
#  4. runs every Qt Test suite (label "window") built for Windows, and the desktop-session and
#     event-delivery suites once more on the windows platform (real windows, real clicks);
#  5. starts the product's entry with a null product name: the "FDU App" system box must show
#     with its text, and after OK (and the dialog that follows) the program ends with 0;
#  6. at 144 dpi, wants the window 1.5 times its 96-dpi size.
# The program and the bench run from the unpacked zip alone, so a DLL missing from the zip
# fails the job. Screenshots and logs go to BUILD_DIR/windows-run/.
#
# Usage: scripts/windows-test.sh [BUILD_DIR]       (default: build-mingw)
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$(pwd)"
build="${1:-build-mingw}"
start=$SECONDS
say() { echo "windows-test: [$((SECONDS - start)) s] $*"; }
fail() {
    echo "windows-test: FAILED: $*" >&2
    exit 1
}

for tool in x86_64-w64-mingw32-g++-posix wine wineserver Xvfb import zip unzip; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "windows-test: $tool not found (scripts/install-deps.sh installs it)" >&2
        exit 2
    }
done

qt="$(scripts/qt-windows.sh | tail -n 1)"
say "Qt for Windows: $qt"

# The build runs its helpers (the placeholder image, the build-text check) under Wine, in a
# prefix of its own without a display. One persistent server for it: a server that a helper
# starts keeps Ninja waiting on the helper's output.
mkdir -p "$build/wineprefix"
build_prefix="$(cd "$build" && pwd)/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
servers=()
xvfb=""
cleanup() {
    for prefix in "${servers[@]}"; do
        WINEPREFIX="$prefix" wineserver --kill >/dev/null 2>&1 || true
    done
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
(unset DISPLAY && WINEPREFIX="$build_prefix" wineserver --persistent)
servers+=("$build_prefix")
(unset DISPLAY && WINEPREFIX="$build_prefix" wineboot --init >/dev/null 2>&1) || true
export WINEPREFIX="$build_prefix"
DISPLAY= cmake --preset mingw -B "$build" -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >"$build/configure.log" 2>&1 || {
    tail -n 40 "$build/configure.log"
    fail "configuring the Windows build"
}
say "building"
DISPLAY= nice cmake --build "$build" >"$build/build.log" 2>&1 || {
    grep -E -B2 -A12 'error|FAILED' "$build/build.log" | head -n 80
    fail "building for Windows"
}
zip_file="$(scripts/windows-package.sh "$build" | tail -n 1)"
say "packaged $zip_file"

run="$(cd "$build" && pwd)/windows-run"
rm -rf "$run"
mkdir -p "$run"
unzip -q "$zip_file" -d "$run/zip"
app="$(find "$run/zip" -mindepth 1 -maxdepth 1 -type d)"
# The bench and the test helpers beside a copy of what the zip holds; Qt Test is the only
# module the bench adds.
cp -r "$app" "$run/bench"
cp "$build/VornikFDU-bench.exe" "$qt/bin/Qt6Test.dll" "$build/window_driver.exe" \
    "$build/product_null_name.exe" "$build/uia_names.exe" "$run/bench/"
# Beside the unpacked folder, what makes a folder look like a Qt prefix to a Qt that finds its
# own prefix (lib\libQt6Core.a), and a platform plugin there that marks itself when loaded:
# anyone who may write the folder above the program could plant them.
mkdir -p "$run/zip/lib" "$run/zip/plugins/platforms"
: >"$run/zip/lib/libQt6Core.a"
cp "$build/planted_qwindows.dll" "$run/zip/plugins/platforms/qwindows.dll"
planted_mark="$run/zip/plugins/platforms/qwindows.dll.loaded"
driver="$run/bench/window_driver.exe"

# A display of our own, and a Wine prefix that has seen nothing but the zip.
exec 5>"$run/display"
Xvfb -displayfd 5 -screen 0 1600x1000x24 -nolisten tcp >"$run/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 50); do
    [ -s "$run/display" ] && break
    sleep 0.1
done
[ -s "$run/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$run/display")"
export WINEPREFIX="$run/prefix"
mkdir -p "$WINEPREFIX"
wineserver --persistent
servers+=("$WINEPREFIX")
wineboot --init >/dev/null 2>&1 || true
say "fresh Wine prefix on $DISPLAY"

product="$(sed -n 's/^VORNIK_PRODUCT_NAME:[A-Z]*=//p' "$build/CMakeCache.txt")"
caption="$product FDU"
drive() { wine "$driver" "$@" | tr -d '\r'; }

# The window's size at 96 dpi, and the centre of its caption bar's close button there: 31 x 30
# at the right end of the bar, inside the window's 4-pixel frame (ui/form1.cpp lays both out).
# Qt draws the button itself, so no window message can name it: it is clicked where it is drawn,
# scaled to the window's real size.
design_width=907
design_height=416
close_x=$((design_width - 4 - 31 + 31 / 2))
close_y=$((4 + 30 / 2))
close_window() {
    local width=$1 height=$2
    drive click "$caption" "$(((width * close_x + design_width / 2) / design_width))" \
        "$(((height * close_y + design_height / 2) / design_height))" >/dev/null
}

start_product() { (cd "$1" && exec wine ./VornikFDU.exe) & }

# 1. The product from the zip.
start_product "$app"
product_pid=$!
size="$(drive wait "$caption" 120)" || fail "VornikFDU.exe showed no window \"$caption\""
say "VornikFDU.exe shows \"$caption\", $size pixels"
sleep 1
import -window root "$run/VornikFDU.png"
say "screenshot: $run/VornikFDU.png"
[ "$size" = "$design_width $design_height" ] ||
    fail "window size $size, expected $design_width $design_height"
close_window $size
status=0
wait "$product_pid" || status=$?
[ "$status" -eq 0 ] || fail "VornikFDU.exe ended with $status after its close button"
say "VornikFDU.exe closed by its close button, exit code 0"
[ ! -e "$planted_mark" ] || fail "VornikFDU.exe loaded the platform plugin planted outside its folder"
say "the plugin planted in the folder above it was not loaded"

# 2. UI Automation from another process, as a screen reader on Windows reads the window.
start_product "$app"
product_pid=$!
drive wait "$caption" 120 >/dev/null || fail "VornikFDU.exe showed no window for UI Automation"
sleep 1
status=0
wine "$run/bench/uia_names.exe" "$caption" 10 >"$run/uia.txt" 2>"$run/uia-errors.txt" || status=$?
tr -d '\r' <"$run/uia.txt" >"$run/uia.log"
[ "$(head -n 1 "$run/uia.log")" = "$(printf '50032\t%s' "$caption")" ] ||
    fail "UI Automation did not read the window as \"$caption\": $(head -n 1 "$run/uia.log")"
if [ "$status" -eq 0 ]; then
    # Control types: 50000 button, 50007 list item, 50018 tab, 50019 tab item.
    ! grep -E -q $'^ *5000[07]\t *$' "$run/uia.log" ||
        fail "UI Automation: a button or entry without a name ($run/uia.log)"
    ! grep -E -q $'^ *5001[89]\t' "$run/uia.log" ||
        fail "UI Automation: page headers in the tree ($run/uia.log)"
    close_window "$design_width" "$design_height"
    wait "$product_pid" || fail "VornikFDU.exe ended badly after the UI Automation read"
    say "UI Automation: $(wc -l <"$run/uia.log") elements read from another process ($run/uia.log)"
elif [ "$status" -eq 3 ]; then
    # The window no longer answers: its thread waits for Wine's provider thread.
    kill -9 "$product_pid" 2>/dev/null || true
    wait "$product_pid" 2>/dev/null || true
    say "UI Automation: the window's element reads \"$caption\" from another process; below it" \
        "nothing can be read under $(wine --version): $(tr -d '\r' <"$run/uia-errors.txt")"
else
    fail "UI Automation: uia_names ended with $status: $(tr -d '\r' <"$run/uia-errors.txt")"
fi

# 3. The rehearsal on Windows' own windows.
status=0
(cd "$run/bench" && wine ./VornikFDU-bench.exe --rehearse 'rehearsal') >"$run/rehearsal.txt" 2>&1 ||
    status=$?
tr -d '\r' <"$run/rehearsal.txt" >"$run/rehearsal.log"
cat "$run/rehearsal.log"
[ "$status" -eq 0 ] || fail "the rehearsal ended with $status"
# Status lines without their times, in a fixed order (printers interleave by timing), and the
# verdicts.
status_lines() { sed -n -e 's/^ *[0-9.]* s  \(row .*\)$/\1/p' -e '/^  ok /p;/^  FAIL /p;/^Summary/p' "$1" | sort; }
if [ -x build/bench/VornikFDU-bench ]; then
    QT_QPA_PLATFORM=offscreen build/bench/VornikFDU-bench --rehearse "$run/rehearsal-linux" \
        >"$run/rehearsal-linux.log" 2>&1 || fail "the Linux rehearsal failed"
    diff <(status_lines "$run/rehearsal-linux.log") <(status_lines "$run/rehearsal.log") ||
        fail "the rehearsal's status lines differ between Linux (<) and Windows (>)"
    say "rehearsal passed with the same status lines as on Linux"
else
    say "rehearsal passed (no Linux bench in build/ to compare its status lines with)"
fi

# 4. The window suites.
runtime="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")"
pthread="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)")"
export WINEPATH="$(winepath -w "$qt/bin");$(winepath -w "$runtime");$(winepath -w "$pthread")"
ctest --test-dir "$build" -L window -j 2 -V --timeout 300 >"$run/suites.log" 2>&1 || {
    tr -d '\r' <"$run/suites.log" | grep -E -A3 'FAIL!|Test +#|tests passed'
    fail "a window suite failed under Wine"
}
# Every case that cannot hold on Windows says why.
tr -d '\r' <"$run/suites.log" | grep -E '(SKIP|Totals:)|tests passed' || true
# The suites that click through the window and the bench as a desktop would, and the case that
# asks the window about a log-off, again on Windows' own windows instead of the offscreen
# stand-in. Wine passes QT_ variables only behind "WINE".
for t in test_desktop_session test_event_delivery "test_update_run sessionEndIsRefusedOnlyDuringTheRun"; do
    read -r -a command <<<"$t"
    t="${command[0]}"
    WINEQT_QPA_PLATFORM=windows WINEQT_FORCE_STDERR_LOGGING=1 wine "$build/$t.exe" "${command[@]:1}" \
        >"$run/$t-windows.log" 2>&1 || {
        tr -d '\r' <"$run/$t-windows.log"
        fail "$t on the windows platform"
    }
    tr -d '\r' <"$run/$t-windows.log" | grep -E '^Totals' || true
done
tr -d '\r' <"$run/test_update_run-windows.log" | grep -q ' 0 skipped' ||
    fail "the log-off question was skipped on the windows platform"
unset WINEPATH
say "window suites passed"

# 5. The "FDU App" system box of a build without a product name.
(cd "$run/bench" && exec wine ./product_null_name.exe) &
null_pid=$!
drive okbox "FDU App" "AUTO_BUILD ERROR: Firmware file name OR Product name missing!" 60 ||
    fail "no \"FDU App\" box with the expected text"
import -window root "$run/fdu-app-box.png" || true
# Then the dialog with the same fault in the start language; closing it ends the program.
drive wait "UI_Message" 60 >/dev/null || fail "no message dialog after the \"FDU App\" box"
drive close "UI_Message"
status=0
wait "$null_pid" || status=$?
[ "$status" -eq 0 ] || fail "the program without a product name ended with $status"
say "\"FDU App\" box shown through the system, OK pressed, exit code 0"

# 6. 144 dpi: Wine reads the resolution at start-up from the user's desktop settings.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
wineserver --kill
wineserver --wait || true
wineserver --persistent
start_product "$app"
product_pid=$!
size="$(drive wait "$caption" 120)" || fail "no window at 144 dpi"
import -window root "$run/VornikFDU-144dpi.png"
read -r width height <<<"$size"
# 1.5 times the design's size, give or take the rounding of one pixel.
if [ $((width * 2 - design_width * 3)) -lt -2 ] || [ $((width * 2 - design_width * 3)) -gt 2 ] ||
    [ $((height * 2)) -ne $((design_height * 3)) ]; then
    fail "at 144 dpi the window is $size, expected 1.5 times $design_width x $design_height"
fi
close_window $size
status=0
wait "$product_pid" || status=$?
[ "$status" -eq 0 ] || fail "VornikFDU.exe at 144 dpi ended with $status"
say "at 144 dpi the window is $size pixels"
say "passed"
