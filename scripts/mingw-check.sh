#!/usr/bin/env bash
# Cross-compiles the Qt-free printer layer (the Windows backend included) and the firmware name
# check for 64-bit Windows with MinGW-w64, and links them into a small program that calls into
# each, so that a Windows-only compile or link fault shows up on a Linux machine.
# Nothing is run here: the program only proves that everything builds and resolves with the
# compiler's default thread model. scripts/wine-test.sh builds the same layer with its tests and
# runs them under Wine.
#
# Usage: scripts/mingw-check.sh            (the compiler can be changed with MINGW_CXX=...)
set -euo pipefail
cd "$(dirname "$0")/.."

CXX="${MINGW_CXX:-x86_64-w64-mingw32-g++}"
if ! command -v "$CXX" >/dev/null 2>&1; then
    echo "mingw-check: $CXX not found (Debian package g++-mingw-w64-x86-64)" >&2
    exit 2
fi

OUT="$(mktemp -d)"
trap 'rm -rf "$OUT"' EXIT
FLAGS=(-std=c++20 -municode -Wall -Wextra -I. -DUNICODE -D_UNICODE)

SOURCES=(printer_link/*.cpp printer_link/windows/*.cpp firmware/identity_check.cpp
    firmware/transfer.cpp firmware/embedded_image_windows.cpp)
WINDRES="${MINGW_WINDRES:-x86_64-w64-mingw32-windres}"

cat > "$OUT/main.cpp" <<'CPP'
#include "firmware/embedded_image.h"
#include "firmware/identity_check.h"
#include "firmware/transfer.h"
#include "printer_link/platform.h"
#include "printer_link/printer_link.h"

int wmain()
{
    vornik::InstallDefaultPlatform();
    char16_t build[kBuildTextUnits];
    const int checked = Lib_FlashFileValidityCheck(u"ZELTAN QXR3303", u"", build, kBuildTextUnits);
    const int found = Lib_EnumeratePrinterClassPnPDevices(&gUSBPrinterClassDeviceInfo);
    Lib_SetUSBDeviceFilePath(0, u"");
    const int sent = vornik::CopyFirmwareImageToPrinter(vornik::EmbeddedFirmwareImage(), u"NUL", {});
    return checked + found + sent + Lib_IsConnectionValid() + Lib_SendFlashCommand()
        + static_cast<int>(vornik::SystemClock().tickCount() & 1);
}
CPP

failed=0
objects=()
for source in "${SOURCES[@]}" "$OUT/main.cpp"; do
    object="$OUT/$(echo "$source" | tr '/' '_').o"
    if "$CXX" "${FLAGS[@]}" -c "$source" -o "$object"; then
        objects+=("$object")
    else
        echo "mingw-check: $source does not compile for Windows" >&2
        failed=1
    fi
done
# The image as resource 111 of type RCDATA, the way the Windows build embeds it.
head -c 4096 /dev/zero > "$OUT/image.fhx"
sed "s|@VORNIK_IMAGE_PATH@|$OUT/image.fhx|" firmware/firmware_image.rc.in > "$OUT/image.rc"
if "$WINDRES" "$OUT/image.rc" -O coff -o "$OUT/image_rc.o"; then
    objects+=("$OUT/image_rc.o")
else
    echo "mingw-check: the firmware image resource does not compile" >&2
    failed=1
fi
if [ "$failed" -ne 0 ]; then
    exit 1
fi

if ! "$CXX" -municode -static -o "$OUT/printer_layer_check.exe" "${objects[@]}" -lsetupapi; then
    echo "mingw-check: the printer layer does not link for Windows" >&2
    exit 1
fi
echo "mingw-check: printer layer compiles and links for Windows ($CXX)"
