#!/usr/bin/env bash
# ./package --windows: cross-builds both programs for 64-bit Windows and writes
# dist/velkais-log-browser-<version>-win64.zip, one folder that runs wherever
# it is unzipped: the programs, the Qt and MinGW DLLs they load, Qt's plugins
# in the folders Qt looks in, the data files, a README and the licences; and
# dist/velkais-log-browser-<version>-win64-setup.exe, the setup program that
# installs the same folder (tools/windows/setup.nsi).
set -euo pipefail
cd "$(dirname "$0")/../.."
source tools/setup.sh
source tools/windows/windows.sh
ensure_packages "${VELK_WINDOWS_PACKAGES[@]}"
windows_qt

# The map's coastline is converted from netCDF on Linux (the converter cannot
# run when cross-compiling): the Linux Release build makes it, once.
options=(-DVELK_BUILD_TESTS=OFF)
coastline="$PWD/build/release/share/velkais-log-browser/coastline.bin"
if [ ! -f "$coastline" ]; then
    echo "package: converting the coastline with the Linux build (build/release)"
    cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null &&
        cmake --build build/release --target coastline >/dev/null ||
        windows_fail "converting the coastline failed" "run ./test once, then this again"
fi
[ -f "$coastline" ] ||
    windows_fail "the Linux build made no coastline file" "install libnetcdf-dev and gmt-gshhg-* (ensure_packages), then run this again"
options+=(-DVELK_COASTLINE_FILE="$coastline")

build="$PWD/build/windows-package"
stage="$build/stage"
windows_configure "$build" "${options[@]}"
cmake --build "$build" || windows_fail "the Windows cross build failed" "read the first error above"
rm -rf "$stage"
cmake --install "$build" --prefix "$stage" --strip >/dev/null ||
    windows_fail "installing the Windows build into $stage failed" "read the message above"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name="velkais-log-browser-$version-win64"
folder="$build/$name"
rm -rf "$folder"
mkdir -p "$folder"

# The programs, and beside them every data file the Linux package installs
# under share/velkais-log-browser (the programs look beside themselves first).
cp "$stage/bin/velkais-log-browser.exe" "$stage/bin/velkais-log.exe" "$folder/"
if [ -d "$stage/share/velkais-log-browser" ]; then
    cp -r "$stage/share/velkais-log-browser/." "$folder/"
fi

# Qt: the modules the programs link and the plugins they load. PNG is built
# into Qt6Gui; JPEG (the ships' photographs) is a plugin.
qt="$VELK_WINDOWS_QT"
cp "$qt"/bin/Qt6{Core,Gui,Widgets,Sql}.dll "$folder/"
# velkais-log map paints offscreen, without a display.
for plugin in platforms/qwindows.dll platforms/qoffscreen.dll sqldrivers/qsqlite.dll imageformats/qjpeg.dll \
              styles/qwindowsvistastyle.dll; do
    [ -f "$qt/plugins/$plugin" ] ||
        windows_fail "Qt for Windows lacks plugins/$plugin" "delete $qt and run this again to rebuild it"
    mkdir -p "$folder/$(dirname "$plugin")"
    cp "$qt/plugins/$plugin" "$folder/$plugin"
done

# MinGW's C++ runtime: whichever of its DLLs the files above import.
imports() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'; }
for dll in $(find "$folder" -name '*.exe' -o -name '*.dll' | while read -r f; do imports "$f"; done | sort -u); do
    [ -f "$folder/$dll" ] && continue
    for dir in "${VELK_MINGW_RUNTIME_DIRS[@]}"; do
        [ -f "$dir/$dll" ] && cp "$dir/$dll" "$folder/" && break
    done
done
# A runtime DLL may itself import another (libstdc++ imports libgcc_s and
# libwinpthread): every import must now be in the folder or Windows' own.
for f in "$folder"/*.dll "$folder"/*.exe "$folder"/*/*.dll; do
    for dll in $(imports "$f"); do
        [ -f "$folder/$dll" ] && continue
        for dir in "$qt/bin" "${VELK_MINGW_RUNTIME_DIRS[@]}"; do
            [ -f "$dir/$dll" ] && windows_fail "$(basename "$f") needs $dll, which the package lacks" \
                                               "add it to the copying steps in tools/windows/package.sh"
        done
    done
done

find "$folder" -name '*.dll' -exec x86_64-w64-mingw32-strip --strip-unneeded {} + ||
    windows_fail "stripping the DLLs failed" "check that mingw-w64's binutils are installed"

# The README and the licence texts, with Windows line ends.
[ -d "$qt/licenses" ] ||
    windows_fail "Qt for Windows in $qt has no licence texts (made by an older build-qt.sh)" \
                 "delete $qt and run this again to rebuild it"
crlf() { sed 's/$/\r/' "$1" >"$2"; }
crlf tools/windows/README-Windows.txt "$folder/README.txt"
mkdir -p "$folder/licenses"
for f in "$qt"/licenses/*; do
    crlf "$f" "$folder/licenses/$(basename "$f")"
done
crlf /usr/share/doc/gcc-mingw-w64-base/copyright "$folder/licenses/mingw-w64-gcc-runtime-copyright.txt"
crlf /usr/share/doc/mingw-w64-common/copyright "$folder/licenses/mingw-w64-winpthreads-copyright.txt"
crlf cmake/debian/copyright "$folder/licenses/velkais-log-browser-copyright.txt"

mkdir -p dist
zip="$PWD/dist/$name.zip"
rm -f "$zip"
(cd "$build" && zip -qr -X "$zip" "$name") || windows_fail "writing $zip failed" "check free space in dist/"
echo "dist/$name.zip ($(du -k "$zip" | cut -f1) KB)"

# The setup program installs the very folder the zip holds. Its uninstaller
# deletes that folder's files and subfolders by name, listed here.
files="$build/setup-files.nsh"
(
    cd "$folder"
    find . -type f | LC_ALL=C sort | sed 's|^\./||; s|/|\\|g; s|^\(.*\)$|Delete "$INSTDIR\\\1"|'
    find . -mindepth 1 -type d | LC_ALL=C sort -r | sed 's|^\./||; s|/|\\|g; s|^\(.*\)$|RMDir "$INSTDIR\\\1"|'
) >"$files"
setup="$PWD/dist/$name-setup.exe"
rm -f "$setup"
makensis -V2 -WX -DVERSION="$version" -DSTAGE="$folder" -DFILES="$files" \
    -DICON="$build/src/resources/windows/velkais-log-browser.ico" -DOUTFILE="$setup" \
    tools/windows/setup.nsi >"$build/makensis.log" 2>&1 ||
    windows_fail "makensis could not build the setup program (see $build/makensis.log)" \
                 "read the first error in the log; makensis comes with Debian's nsis package"
echo "dist/$name-setup.exe ($(du -k "$setup" | cut -f1) KB)"
