#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix: ctest's emulator for
# the Windows build, and the way the scripts start the Windows programs.
#   wine-run.sh PREFIX QT_DIR PROGRAM [ARGUMENTS...]
# PREFIX is created on first use. Qt's and MinGW's DLLs are found through
# WINEPATH, so nothing is copied beside the programs.
#
# Wine hands no QT_* variable from the Unix environment to the program, so the
# prefix's own environment (the registry's HKCU\Environment) carries
# QT_QPA_PLATFORM: offscreen, unless VELK_WINE_PLATFORM names another plugin
# when the prefix is made. Without a console Qt logs (QtTest's results
# included) to the debugger only: QT_FORCE_STDERR_LOGGING sends it to the
# standard streams, where ctest reads it. Offscreen, Qt for Windows finds
# fonts only in QT_QPA_FONTDIR: a folder of the prefix holds the faces the
# Linux build falls back to (IPA Gothic, Liberation Sans). TEMP points into the prefix's folder on the Unix
# side (drive Z:), so that a test working in a temporary folder still reaches
# the build tree's absolute paths on the same drive.
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: wine-run.sh PREFIX QT_DIR PROGRAM [ARGUMENTS...]" >&2; exit 2; }
prefix=$1
qt=$2
shift 2

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No Mono or Gecko: nothing here needs .NET or a web view, and wineboot would
# otherwise offer to download them.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

windows_path() { local p=$1; echo "Z:${p//\//\\}"; }

dlls=("$qt/bin" /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)
winepath=""
for d in "${dlls[@]}"; do winepath+="$(windows_path "$d");"; done
export WINEPATH="${winepath%;}"

command -v wine >/dev/null ||
    { echo "wine-run: wine is not installed; fix: apt-get install wine wine64" >&2; exit 1; }

if [ ! -f "$prefix/.velk-ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        # ctest runs two tests at once: the first one makes the prefix.
        flock 9
        if [ ! -f "$prefix/.velk-ready" ]; then
            wineboot -i >/dev/null 2>&1 ||
                { echo "wine-run: wineboot could not make the Wine prefix $prefix; fix: delete it and retry" >&2; exit 1; }
            mkdir -p "$prefix/tmp" "$prefix/fonts"
            for font in /usr/share/fonts/opentype/ipafont-gothic/ipag.ttf \
                        /usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf \
                        /usr/share/fonts/truetype/liberation/LiberationSans-{Regular,Bold,Italic,BoldItalic}.ttf; do
                [ -f "$font" ] && ln -sf "$font" "$prefix/fonts/" ||
                    { echo "wine-run: $font is missing; fix: apt-get install fonts-ipafont-gothic fonts-liberation" >&2; exit 1; }
            done
            env="HKCU\\Environment"
            wine reg add "$env" /v QT_QPA_PLATFORM /d "${VELK_WINE_PLATFORM:-offscreen}" /f >/dev/null 2>&1 &&
                wine reg add "$env" /v QT_FORCE_STDERR_LOGGING /d 1 /f >/dev/null 2>&1 &&
                wine reg add "$env" /v QT_QPA_FONTDIR /d "$(windows_path "$prefix/fonts")" /f >/dev/null 2>&1 &&
                wine reg add "$env" /v TEMP /d "$(windows_path "$prefix/tmp")" /f >/dev/null 2>&1 &&
                wine reg add "$env" /v TMP /d "$(windows_path "$prefix/tmp")" /f >/dev/null 2>&1 ||
                { echo "wine-run: could not set the environment in $prefix; fix: delete it and retry" >&2; exit 1; }
            wineserver -w
            touch "$prefix/.velk-ready"
        fi
    ) 9>"$prefix.lock"
fi

exec wine "$@"
