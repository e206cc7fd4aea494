#!/usr/bin/env bash
# Makes VornikFDU-<version>-win64.zip from a Windows build (the mingw preset): one folder with
# VornikFDU.exe and every DLL it loads that Windows itself does not have: Qt's DLLs, the
# platform plugin, the style plugin and the compiler's runtime; and the licences that come with
# them. What goes in is worked out from the DLL imports of each file, so nothing that is only
# on the build machine is assumed.
#
# Usage: scripts/windows-package.sh [BUILD_DIR]     (default: build-mingw)
# Prints the zip's path on its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-mingw}"
objdump=x86_64-w64-mingw32-objdump
gxx=x86_64-w64-mingw32-g++-posix

if [ ! -f "$build/VornikFDU.exe" ] || [ ! -f "$build/CMakeCache.txt" ]; then
    echo "windows-package: no VornikFDU.exe in $build (build it with the mingw preset first)" >&2
    exit 2
fi
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt" | head -n 1; }
version="$(cache_value CMAKE_PROJECT_VERSION)"
qt_dir="$(cache_value Qt6_DIR)"
qt="$(cd "$qt_dir/../../.." && pwd)"
name="VornikFDU-$version-win64"
stage="$build/package/$name"
rm -rf "$build/package"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/licenses"

# Where a DLL may come from; anything else must be part of Windows.
search=("$qt/bin" "$(dirname "$($gxx -print-file-name=libstdc++-6.dll)")"
    "$(dirname "$($gxx -print-file-name=libwinpthread-1.dll)")")
# The DLLs of Windows itself that the program, Qt and the plugins import, by name (lower case),
# as every Windows 10 and 11 carries them. A DLL that is none of these, nor Qt's or the
# compiler's, stops the script: Wine's system folder is no guide, since Wine ships DLLs that
# Windows does not (vcruntime140.dll, msvcp140.dll).
windows_dlls="advapi32.dll authz.dll comdlg32.dll d3d11.dll d3d9.dll dwmapi.dll dwrite.dll dxgi.dll
    gdi32.dll imm32.dll kernel32.dll mpr.dll msvcrt.dll netapi32.dll ole32.dll oleaut32.dll
    setupapi.dll shcore.dll shell32.dll shlwapi.dll user32.dll userenv.dll uxtheme.dll
    version.dll winmm.dll ws2_32.dll wtsapi32.dll"
windows_dlls=" $(echo $windows_dlls) "

cp "$build/VornikFDU.exe" "$stage/"
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"

# Follows the imports of every file in the folder until nothing new turns up.
declare -A done_files=()
changed=1
while [ "$changed" -eq 1 ]; do
    changed=0
    while IFS= read -r file; do
        [ -n "${done_files[$file]:-}" ] && continue
        done_files[$file]=1
        while IFS= read -r dll; do
            lower="${dll,,}"
            [ -e "$stage/$dll" ] && continue
            found=""
            for dir in "${search[@]}"; do
                if [ -f "$dir/$dll" ]; then
                    found="$dir/$dll"
                    break
                fi
            done
            if [ -n "$found" ]; then
                cp "$found" "$stage/"
                # Debian's compiler runtime carries its debug symbols: 23 MB for libstdc++.
                x86_64-w64-mingw32-strip --strip-unneeded "$stage/$dll"
                changed=1
            elif [[ "$lower" == api-ms-win-* ]] || [[ "$windows_dlls" == *" $lower "* ]]; then
                : # part of Windows
            else
                echo "windows-package: $(basename "$file") needs $dll, which is neither in Qt," \
                    "the compiler's runtime nor Windows" >&2
                exit 1
            fi
        done < <($objdump -p "$file" | sed -n 's/^\s*DLL Name: //p')
    done < <(find "$stage" -name '*.exe' -o -name '*.dll')
done

# Qt is under the LGPL 3 (the DLLs beside the program may be replaced by the user); the
# compiler's runtime under the GPL with its runtime exception and winpthreads under an MIT-style
# licence.
cp /usr/share/doc/qt6-base-dev/copyright "$stage/licenses/Qt.txt"
cp /usr/share/common-licenses/LGPL-3 "$stage/licenses/LGPL-3.txt"
cp /usr/share/common-licenses/GPL-3 "$stage/licenses/GPL-3.txt"
cp /usr/share/doc/mingw-w64-common/copyright "$stage/licenses/mingw-w64.txt"
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licenses/gcc-runtime.txt"

zip="$build/$name.zip"
rm -f "$zip"
(cd "$build/package" && zip -q -r -X "../$name.zip" "$name")
echo "windows-package: $(cd "$stage" && find . -type f -name '*.dll' | sort | tr '\n' ' ')" >&2
echo "windows-package: $(du -h "$zip" | cut -f1) in $zip" >&2
echo "$zip"
