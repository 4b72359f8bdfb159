#!/usr/bin/env bash
# The Windows velkais-log-browser.exe under Wine on a virtual display (Xvfb),
# with the windows platform plugin: a Search on today's demo logs, and
# screenshots before and after it, to look at beside the Linux window.
#
#   tests/windows/screenshot.sh [OUT_DIR]     default build/windows/screenshots
# Uses build/windows (./test --windows), building the program when missing.
set -euo pipefail
cd "$(dirname "$0")/../.."
source tools/setup.sh
source tools/windows/windows.sh
ensure_packages
ensure_packages "${VELK_WINDOWS_PACKAGES[@]}" "${VELK_WINDOWS_PROOF_PACKAGES[@]}"
windows_qt

out="$(realpath -m "${1:-build/windows/screenshots}")"
linux=build/release
windows=build/windows
[ -f "$linux/build.ninja" ] || cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$linux" --target velkais-demo-data >/dev/null ||
    windows_fail "the Linux build of the demo data generator failed" "run ./test and read its first error"
[ -f "$windows/build.ninja" ] ||
    windows_configure "$windows" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$PWD/tools/windows/wine-run.sh;$PWD/$windows/wine;$VELK_WINDOWS_QT"
cmake --build "$windows" --target velkais-log-browser >/dev/null ||
    windows_fail "the Windows build of the browser failed" "run ./test --windows and read its first error"

# A prefix of its own: the test prefix makes every program offscreen.
prefix="$PWD/$windows/wine-display"
export VELK_WINE_PLATFORM=windows
wine_run=("$PWD/tools/windows/wine-run.sh" "$prefix" "$VELK_WINDOWS_QT")
"${wine_run[@]}" wineboot -u >/dev/null 2>&1 || true
# Without Wine's Tahoma in the prefix, Latin text falls back to a serif face.
if [ -f /usr/share/wine/fonts/tahoma.ttf ]; then
    cp /usr/share/wine/fonts/tahoma*.ttf "$prefix/drive_c/windows/Fonts/"
fi

work=$(mktemp -d)
display=:$((90 + RANDOM % 100))
xvfb=""
cleanup() {
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$linux/tools/velkais-demo-data" --out "$work" --days 2 ||
    windows_fail "the demo data generator failed" "run it by hand: $linux/tools/velkais-demo-data --help"
mkdir -p "$work/work" "$out"

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 2
kill -0 "$xvfb" 2>/dev/null || windows_fail "Xvfb did not start on $display" "check that xvfb is installed"
export DISPLAY=$display

exe="$PWD/$windows/app/velkais-log-browser.exe"
(cd "$work/work" && exec "${wine_run[@]}" "$exe" "$work/work") \
    >"$out/browser.log" 2>&1 &
window=""
for _ in $(seq 60); do
    window=$(xdotool search --name "VELK" 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    sleep 1
done
[ -n "$window" ] || windows_fail "the window did not appear within a minute (see $out/browser.log)" \
                                 "run the program by hand under Wine and read its messages"
sleep 3
import -window root "$out/started.png"

# Search is Command1, at 48,168 and 249 x 33 in the form.
xdotool mousemove --window "$window" 172 184 click 1
sleep 10
import -window root "$out/searched.png"
xdotool key --window "$window" Escape
echo "screenshots in $out: started.png, searched.png"
