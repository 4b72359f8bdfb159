#!/usr/bin/env bash
# The setup program under Wine, in a fresh prefix of its own: a silent install
# for the current user with a station shortcut; the shortcuts, the Installed
# apps entry and the "Open with" keys; the installed browser and map start,
# and the installed velkais-log.exe gives the zip's bytes; a silent uninstall
# leaves no file or key of ours, while the station's folders, the index cache
# and another program's hold on .kml stay.
#
#   tests/windows/setup-test.sh SETUP.exe ZIP DEMO_DATA.exe
# DEMO_DATA.exe is the Windows build's velkais-demo-data (run through
# wine-run.sh with the build's own prefix, where Qt's DLLs are on WINEPATH;
# the test prefix has no such path, so a DLL the setup forgot shows).
# Run by ./test --windows after ./package --windows.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: setup-test.sh SETUP.exe ZIP DEMO_DATA.exe" >&2; exit 2; }
repo="$(cd "$(dirname "$0")/../.." && pwd)"
setup=$(realpath "$1")
zip=$(realpath "$2")
demo=$(realpath "$3")
source "$repo/tools/windows/windows.sh"
windows_qt >/dev/null

work="$repo/build/windows-setup-test"
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEPATH
trap 'wineserver -k 2>/dev/null || true' EXIT

user=$(id -un)
failures=0
check() { # check DESCRIPTION COMMAND...: one line per check, the run goes on
    if "${@:2}"; then
        echo "ok    $1"
    else
        echo "FAIL  $1"
        failures=$((failures + 1))
    fi
}
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
unixpath() { # C:\users\x -> the prefix's drive_c/users/x
    local p=${1//\\//}
    case $p in
        [Cc]:/*) echo "$WINEPREFIX/drive_c/${p:3}" ;;
        [Zz]:/*) echo "${p:2}" ;;
        *) echo "$p" ;;
    esac
}
reg_value() { # reg_value KEY NAME: the value's data, empty when absent
    wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
        awk -v n="$2" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print; exit }'
}
reg_default() {
    wine reg query "$1" /ve 2>/dev/null | tr -d '\r' | awk '/\(Default\)/ { $1 = ""; $2 = ""; sub(/^ +/, ""); print; exit }'
}
has_value() { wine reg query "$1" /v "$2" >/dev/null 2>&1; }
no_key() { ! wine reg query "$1" >/dev/null 2>&1; }
# still_running SECONDS PROGRAM ARGS...: starts a program and checks that it is
# still up after SECONDS (a missing DLL or plugin ends it at once).
still_running() {
    local wait=$1
    shift
    wine "$@" >"$work/run.out" 2>&1 &
    local pid=$!
    sleep "$wait"
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null || true
        wineserver -k 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        return 0
    fi
    cat "$work/run.out" >&2
    return 1
}

# --- A fresh prefix -----------------------------------------------------------
start=$SECONDS
wineboot -i >/dev/null 2>&1 || windows_fail "wineboot could not make $WINEPREFIX"
# Wine links the user's Desktop and Documents to the Unix home: real folders
# keep the setup's shortcuts inside the prefix.
for link in "$WINEPREFIX"/drive_c/users/*/*; do
    [ -L "$link" ] && rm "$link" && mkdir "$link"
done
mkdir -p "$work/fonts"
ln -sf /usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf "$work/fonts/"
wine reg add 'HKCU\Environment' /v QT_QPA_PLATFORM /d offscreen /f >/dev/null 2>&1
wine reg add 'HKCU\Environment' /v QT_QPA_FONTDIR /d "$(winpath "$work/fonts")" /f >/dev/null 2>&1
# A globe viewer already opens .kml: the setup must leave it the default.
wine reg add 'HKCU\Software\Classes\.kml' /ve /d GlobeViewer.kml /f >/dev/null 2>&1
wineserver -w

# A station beside the program: logs, pictures and a working folder.
station="$work/station"
"$repo/tools/windows/wine-run.sh" "$repo/build/windows/wine" "$VELK_WINDOWS_QT" "$demo" \
    --out "$(winpath "$station")" --days 2 --end 20110410 --mb-per-day 1 --seed 7 >/dev/null ||
    windows_fail "the demo data generator failed under Wine"
mkdir -p "$station/work"
station_files() { (cd "$station" && find logs pics -type f -exec md5sum {} + | sort); }
before=$(station_files)
prepared=$SECONDS

# --- Install --------------------------------------------------------------------
status=0
wine "$setup" /S "/WORKDIR=$(winpath "$station/work")" || status=$?
wineserver -w
check "silent install exits 0" [ "$status" -eq 0 ]
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\VelkaisLogBrowser'
instdir=$(reg_value "$key" InstallLocation)
check "installed under the user's local programs folder" \
    [ "${instdir,,}" = 'c:\users\'"$user"'\appdata\local\programs\velkais-log-browser' ]
installed=$(unixpath "$instdir")

# Every file of the zip, and nothing else but the uninstaller.
mkdir -p "$work/zip"
(cd "$work/zip" && unzip -q "$zip")
zipped=$(find "$work/zip" -mindepth 1 -maxdepth 1 -type d | head -n 1)
check "the program folder holds the zip's files" \
    diff <(cd "$zipped" && find . -type f | sort) <(cd "$installed" && find . -type f ! -name uninstall.exe | sort)

version=$(basename "$zipped" | sed 's/^velkais-log-browser-//; s/-win64$//')
# What Explorer reads from the programs: icon, version details, manifest.
has_icon() {
    wrestool -x --type=14 "$1" >"$work/icon.ico" && icotool -l "$work/icon.ico" >"$work/icon.txt" &&
        grep -q 'width=16 ' "$work/icon.txt" && grep -q 'width=256 ' "$work/icon.txt"
}
has_version() {
    local text
    text=$(wrestool -x --raw --type=16 "$1" | iconv -f UTF-16LE -t UTF-8 -c | tr -c '[:print:]' ' ')
    [[ $text == *"ProductName"*"Log Browser for VELK-AIS"* && $text == *"ProductVersion"*" $version "* ]]
}
has_manifest() { wrestool -x --raw --type=24 "$1" | grep -q PerMonitorV2; }
for exe in velkais-log-browser.exe velkais-log.exe; do
    check "$exe carries the icon, 16 to 256 pixels" has_icon "$installed/$exe"
    check "$exe carries its product name and version" has_version "$installed/$exe"
    check "$exe carries the manifest (per-monitor DPI)" has_manifest "$installed/$exe"
done
check "Installed apps: name, version, publisher" \
    [ "$(reg_value "$key" DisplayName)|$(reg_value "$key" DisplayVersion)|$(reg_value "$key" Publisher)" = \
      "Log Browser for VELK-AIS|$version|The Log Browser for VELK-AIS developers" ]
check "Installed apps: icon and uninstall command" \
    [ "$(reg_value "$key" DisplayIcon)|$(reg_value "$key" UninstallString)" = \
      "$instdir\\velkais-log-browser.exe,0|\"$instdir\\uninstall.exe\"" ]
# The size in KB, within a tenth of the folder's (du counts whole blocks).
size_ok() { local kb=$(($(reg_value "$key" EstimatedSize))) du; du=$(du -sk "$installed" | cut -f1); [ $((kb - du)) -lt $((du / 10)) -a $((du - kb)) -lt $((du / 10)) ]; }
check "Installed apps: the size" size_ok

# The shortcuts: the target is stored as the plain path in the link.
lnk_target() { strings -n 6 "$1" | grep -iE '^[a-z]:\\.*\.exe$' | head -n 1; }
menu="$WINEPREFIX/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Log Browser for VELK-AIS"
for link in "$menu/Log Browser for VELK-AIS.lnk" "$menu/Log Browser Map.lnk" "$menu/Log Browser - station.lnk" \
            "$WINEPREFIX/drive_c/users/$user/Desktop/Log Browser - station.lnk"; do
    target=$(lnk_target "$link" 2>/dev/null || true)
    check "shortcut $(basename "$(dirname "$link")")/$(basename "$link") starts the installed browser" \
        [ "${target,,}" = "${instdir,,}\\velkais-log-browser.exe" -a -f "$(unixpath "$target")" ]
done
check "the station shortcut opens its working folder" \
    grep -qF "\"$(winpath "$station/work")\"" <(strings -el "$menu/Log Browser - station.lnk")
check "the map's shortcut starts the map alone" grep -qxF -- --map <(strings -el -n 5 "$menu/Log Browser Map.lnk")

# Running a setup again, as a newer version's would: the installed one goes
# by its own uninstaller, the same folder is used, the station shortcut kept.
status=0
wine "$setup" /S || status=$?
wineserver -w
check "a second install replaces the first in place" \
    [ "$status" -eq 0 -a "$(reg_value "$key" InstallLocation)" = "$instdir" -a -f "$menu/Log Browser - station.lnk" ]
check "the program folder again holds the zip's files" \
    diff <(cd "$zipped" && find . -type f | sort) <(cd "$installed" && find . -type f ! -name uninstall.exe | sort)

classes='HKCU\Software\Classes'
for ext in .kml .gpx .geojson; do
    check "$ext lists the map in Open with" has_value "$classes\\$ext\\OpenWithProgids" VelkaisLogBrowser.Track
done
check "the map's Open with command" \
    [ "$(reg_default "$classes\\VelkaisLogBrowser.Track\\shell\\open\\command")" = "\"$instdir\\velkais-log-browser.exe\" --map \"%1\"" ]
check ".kml still opens with the globe viewer" [ "$(reg_default "$classes\\.kml")" = GlobeViewer.kml ]

# --- Running what was installed -------------------------------------------------
cd "$station/work"
same_output() {
    wine "$installed/velkais-log.exe" "$@" >"$work/installed.out" 2>/dev/null || true
    wine "$zipped/velkais-log.exe" "$@" >"$work/zipped.out" 2>/dev/null || true
    [ -s "$work/installed.out" ] && cmp -s "$work/installed.out" "$work/zipped.out"
}
check "installed velkais-log.exe: search gives the zip's bytes" same_output search --from 20110410 --to 20110410
# A ship of the day with positions, for a track the map can show.
for ship in $(cut -c1-9 "$work/installed.out" | head -n 8); do
    wine "$installed/velkais-log.exe" track --file 20110410_AIS_FMT.log --ship "$ship" --format gpx 2>/dev/null |
        grep -q '<trkpt' && break
done
check "installed velkais-log.exe: track gives the zip's bytes" \
    same_output track --file 20110410_AIS_FMT.log --ship "$ship" --format gpx
cp "$work/installed.out" "$station/work/day.gpx"
cd "$work"
check "the installed browser starts in the station's working folder" \
    still_running 10 "$installed/velkais-log-browser.exe" "$(winpath "$station/work")"
check "the map starts from Open with on a GPX file" \
    still_running 10 "$installed/velkais-log-browser.exe" --map "$(winpath "$station/work/day.gpx")"
check "the map starts alone, empty, as its shortcut starts it" \
    still_running 10 "$installed/velkais-log-browser.exe" --map
cache="$WINEPREFIX/drive_c/users/$user/AppData/Local/cache/velkais-log-browser"
check "the searches filled the day index's cache" [ -d "$cache" ]
installed_at=$SECONDS

# --- Uninstall ------------------------------------------------------------------
status=0
wine "$installed/uninstall.exe" /S || status=$?
# The uninstaller runs from a copy of itself: wait for that copy too.
wineserver -w
check "silent uninstall exits 0" [ "$status" -eq 0 ]
check "no program file left" [ ! -e "$installed" ]
check "no shortcut left" [ ! -e "$menu" -a ! -e "$WINEPREFIX/drive_c/users/$user/Desktop/Log Browser - station.lnk" ]
check "no file of ours left in the prefix" \
    [ -z "$(find "$WINEPREFIX/drive_c" -ipath '*velkais*' ! -path "$cache" ! -path "$cache/*")" ]
for k in "$key" "$classes\\VelkaisLogBrowser.Track" "$classes\\Applications\\velkais-log-browser.exe" \
         "$classes\\.gpx" "$classes\\.geojson" "$classes\\.kml\\OpenWithProgids"; do
    check "no key $k" no_key "$k"
done
check "no registry value names the program" \
    [ -z "$(grep -iE 'velkais-log(-browser)?\.exe|VelkaisLogBrowser' "$WINEPREFIX/user.reg" "$WINEPREFIX/system.reg" || true)" ]
check ".kml still opens with the globe viewer" [ "$(reg_default "$classes\\.kml")" = GlobeViewer.kml ]
check "the station's logs, pictures and working folder stay" \
    [ "$before" = "$(station_files)" -a -f "$station/work/day.gpx" ]
check "the day index's cache stays" [ -d "$cache" ]

echo "setup-test: prefix and demo logs $((prepared - start)) s, install and runs $((installed_at - prepared)) s," \
     "uninstall $((SECONDS - installed_at)) s"
[ "$failures" -eq 0 ] || { echo "setup-test: $failures checks failed" >&2; exit 1; }
