#!/usr/bin/env bash
# The Windows velkais-log.exe, run under Wine, against the Linux build on the
# same generated demo logs: search, days, hours, changes, kml and records must
# give the same bytes and the same exit status.
#
#   tests/windows/compare-with-linux.sh           the comparison
#   tests/windows/compare-with-linux.sh --bench   then search over 4 x 100 MB
#                                                 of logs (bench/data/100mb),
#                                                 timed on both builds
# Uses build/release and build/windows (as ./test and ./test --windows make
# them), building the two programs when they are missing.
set -euo pipefail
cd "$(dirname "$0")/../.."
repo=$PWD
source tools/setup.sh
source tools/windows/windows.sh
ensure_packages
ensure_packages "${VELK_WINDOWS_PACKAGES[@]}"
windows_qt

linux=build/release
windows=build/windows
[ -f "$linux/build.ninja" ] || cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$linux" --target velkais-log velkais-demo-data >/dev/null ||
    windows_fail "the Linux build of velkais-log failed" "run ./test and read its first error"
[ -f "$windows/build.ninja" ] ||
    windows_configure "$windows" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$PWD/tools/windows/wine-run.sh;$PWD/$windows/wine;$VELK_WINDOWS_QT"
cmake --build "$windows" --target velkais-log >/dev/null ||
    windows_fail "the Windows build of velkais-log failed" "run ./test --windows and read its first error"

linux_tool="$PWD/$linux/cli/velkais-log"
windows_tool="$PWD/$windows/cli/velkais-log.exe"
wine_run=(tools/windows/wine-run.sh "$PWD/$windows/wine" "$VELK_WINDOWS_QT")
wine_run=("$PWD/${wine_run[0]}" "${wine_run[@]:1}")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$linux/tools/velkais-demo-data" --out "$work" --days 3 --end 20110410 --mb-per-day 1 --seed 7 ||
    windows_fail "the demo data generator failed" "run it by hand: $linux/tools/velkais-demo-data --help"
mkdir -p "$work/work"
cd "$work/work"

# A ship that sails on the last day, its log, and a square around the strait.
ship=$("$linux_tool" search --from 20110410 --to 20110410 --no-index | head -n 1 | cut -c1-9)
file=20110410_AIS_FMT.log
[ -n "$ship" ] || windows_fail "the demo logs hold no ship" "check velkais-demo-data"

failures=0
compare() {
    local name=$1
    shift
    local ls=0 ws=0
    "$linux_tool" "$@" >"$work/linux.out" 2>"$work/linux.err" || ls=$?
    "${wine_run[@]}" "$windows_tool" "$@" >"$work/windows.out" 2>"$work/windows.err" || ws=$?
    if [ "$ls" -ne "$ws" ] || ! cmp -s "$work/linux.out" "$work/windows.out"; then
        echo "DIFFERS  $name (status $ls on Linux, $ws on Windows)"
        cmp "$work/linux.out" "$work/windows.out" | head -n 3 || true
        failures=$((failures + 1))
    else
        echo "same     $name ($(wc -c <"$work/linux.out") bytes, status $ls)"
    fi
}

period=(--from 20110408 --to 20110410)
compare "search" search "${period[@]}"
compare "search --mmsi" search "${period[@]}" --mmsi "$ship"
compare "search --area" search "${period[@]}" --area 33.9683,130.9747,0.02 --area 33.7761,131.0082,0.01
compare "search, no index" search "${period[@]}" --no-index
compare "days" days "${period[@]}" --ship "$ship"
compare "hours" hours --file "$file" --ship "$ship"
compare "changes" changes --file "$file" --ship "$ship"
compare "kml" kml --file "$file" --ship "$ship" --name "DEMO & <SHIP>" --altitude 2
compare "records csv" records "${period[@]}" --mmsi "$ship"
compare "records jsonl" records "${period[@]}" --area 33.9683,130.9747,0.02 --format jsonl
compare "records geojson" records "${period[@]}" --mmsi "$ship" --format geojson
compare "no such log" hours --file 20000101_AIS_FMT.log --ship "$ship"
compare "bad option" search --nonsense

if [ "$failures" -ne 0 ]; then
    echo "$failures outputs differ between the Linux and the Windows build"
    exit 1
fi
echo "the Windows build gives the Linux build's bytes"

[ "${1:-}" = "--bench" ] || exit 0

# Search over about 400 MB, the logs bench_search generates and keeps, read
# without the day index (a pass that reads every file) and with the files in
# the page cache: the best of three on each build.
cd "$repo"
data="$PWD/bench/data/100mb"
stamp="seed 1, 4 days to 20110410, 100 MB a day"
if [ "$(cat "$data/stamp" 2>/dev/null)" != "$stamp" ]; then
    echo "generating 4 day logs of 100 MB in $data ..."
    rm -rf "$data/logs"
    "$linux/tools/velkais-demo-data" --out "$data" --days 4 --end 20110410 --mb-per-day 100 ||
        windows_fail "generating the benchmark logs failed" "check free space under bench/data"
    echo "$stamp" >"$data/stamp"
fi
mkdir -p "$data/work"
cd "$data/work"
# One Wine server for the runs, as on a PC where Windows is already up.
WINEPREFIX="$repo/$windows/wine" wineserver -p 2>/dev/null || true
best() {
    local best_ms=999999999 i start ms
    for i in 1 2 3 4 5; do
        start=$(date +%s%N)
        "$@" >/dev/null
        ms=$((($(date +%s%N) - start) / 1000000))
        [ "$ms" -lt "$best_ms" ] && best_ms=$ms
    done
    echo "$best_ms"
}
search=(search --from 20110407 --to 20110410 --area 33.9683,130.9747,0.02 --no-index)
echo "search over $(du -sm ../logs | cut -f1) MB, best of 5:"
linux_ms=$(best "$linux_tool" "${search[@]}")
windows_ms=$(best "${wine_run[@]}" "$windows_tool" "${search[@]}")
start_ms=$(best "${wine_run[@]}" "$windows_tool" --version)
ratio() { awk "BEGIN { printf \"%.2f\", $1 / $2 }"; }
echo "  Linux $linux_ms ms, Windows under Wine $windows_ms ms ($(ratio "$windows_ms" "$linux_ms") x)"
echo "  of which Wine starting a program: $start_ms ms (velkais-log.exe --version);" \
     "without it $((windows_ms - start_ms)) ms ($(ratio "$((windows_ms - start_ms))" "$linux_ms") x)"
WINEPREFIX="$repo/$windows/wine" wineserver -k 2>/dev/null || true
