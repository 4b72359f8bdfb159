#!/usr/bin/env bash
# The reader on one core: two builds of velkais-log side by side in one run,
# on the passes that read every file (search --no-index over the year, with
# area C, without an area, with an MMSI, and over the day's folder) and on the
# single-file views (hours, changes, kml of one 100 MB day), with ripgrep counting a literal over the
# same files in the same rounds. Each round runs every command in an order
# that rotates, so that a busy moment on the shared machine falls on all of
# them; figures are medians of the rounds' wall and CPU times (user + system)
# and their ratio to the first build's.
#
#   bench/run-reader.sh [--rounds N] [--logs DIR] [--day FILE] OLD NEW
#
# OLD, NEW: velkais-log binaries (copy the last build aside before building
# this one). NEW also runs with VELKAIS_BASELINE_SCAN=1, the scans without
# AVX2. Default logs: the year of bench/run-year.sh at 3 MB a day; default
# day: a 100 MB day of bench/run-index-cost.sh's logs.
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=7 logs="$PWD/bench/data/year-365x3mb/logs" day="$PWD/bench/data/paired/logs/20110410_AIS_FMT.log"
while [ $# -gt 2 ]; do
    case "$1" in
        --rounds) rounds=$2; shift 2 ;;
        --logs) logs=$2; shift 2 ;;
        --day) day=$2; shift 2 ;;
        *) break ;;
    esac
done
[ $# -eq 2 ] || { echo "usage: $0 [--rounds N] [--logs DIR] [--day FILE] OLD NEW" >&2; exit 2; }
old=$1 new=$2
command -v rg >/dev/null || { echo "ripgrep (Debian's ripgrep) is needed" >&2; exit 2; }
[ -d "$logs" ] || { echo "no logs in $logs: bench/run-year.sh --days 365 --mb-per-day 3 makes them" >&2; exit 2; }
export QT_QPA_PLATFORM=offscreen
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cat "$logs"/* >/dev/null
[ -f "$day" ] && cat "$day" >/dev/null

# "wall cpu" seconds of one run: CPU (user + system of the run alone, from
# the subshell's `times`) is steadier than the wall clock on a shared machine.
wall() {
    (
        start=$EPOCHREALTIME
        "$@" >/dev/null 2>&1 || true
        end=$EPOCHREALTIME
        times >"$tmp/times" # a pipe would run it in a child of its own, without children
        awk -v s="$start" -v e="$end" '
            function sec(t) { split(t, p, "m"); return p[1] * 60 + p[2] }
            NR == 2 { printf "%.4f %.4f\n", e - s, sec($1) + sec($2) }' "$tmp/times"
    )
}
median() { sort -g | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

# case LABEL -- ARGS: OLD, NEW and NEW without AVX2 in rotating order.
runcase() {
    local label=$1 i j
    shift 2
    : >"$tmp/rows"
    for ((i = 0; i < rounds; i++)); do
        local row=()
        for ((j = 0; j < 3; j++)); do
            case $(((i + j) % 3)) in
                0) row[0]=$(wall "$old" "$@") ;;
                1) row[1]=$(wall "$new" "$@") ;;
                2) row[2]=$(wall env VELKAIS_BASELINE_SCAN=1 "$new" "$@") ;;
            esac
        done
        # Columns: wall and CPU of old, new, new without AVX2.
        echo "${row[*]}" >>"$tmp/rows"
    done
    local c
    for c in 1 2; do
        local o n b
        o=$(cut -d' ' -f"$c" "$tmp/rows" | median)
        n=$(cut -d' ' -f$((c + 2)) "$tmp/rows" | median)
        b=$(cut -d' ' -f$((c + 4)) "$tmp/rows" | median)
        printf "%-22s %-4s old %.3f s  new %.3f s (%.2f x; ratio of pairs %.2f x)  new without AVX2 %.3f s (%.2f x)\n" \
            "$label" "$([ $c = 1 ] && echo wall || echo cpu)" "$o" "$n" "$(echo "$n / $o" | bc -l)" \
            "$(awk -v c="$c" '{ print $(c + 2) / $c }' "$tmp/rows" | median)" "$b" "$(echo "$b / $o" | bc -l)"
        label=""
    done
}

period=(--logs "$logs" --from 0 --to 99999999 --no-index)
echo "$(ls "$logs" | wc -l) day logs, $(du -sm "$logs" | cut -f1) MB; $rounds rounds; load average $(cut -d' ' -f1 /proc/loadavg)"
for ((i = 0; i < rounds; i++)); do wall rg -c -F "MMSI NUMBER" -j1 "$logs"; done >"$tmp/rg"
echo "rg -c -F \"MMSI NUMBER\" -j1: wall $(cut -d' ' -f1 "$tmp/rg" | median) s, cpu $(cut -d' ' -f2 "$tmp/rg" | median) s"
runcase "search --area C" -- search "${period[@]}" --area 33.9683,130.9747,0.02
runcase "search, no area" -- search "${period[@]}"
ship=$("$new" search "${period[@]}" | sed -n 3p | cut -c1-9)
runcase "search --mmsi $ship" -- search "${period[@]}" --mmsi "$ship"
if [ -f "$day" ]; then
    dir=$(dirname "$day") file=$(basename "$day")
    echo "the folder of the day: $(ls "$dir" | wc -l) day logs, $(du -sm "$dir" | cut -f1) MB"
    runcase "search --area C" -- search --logs "$dir" --from 0 --to 99999999 --no-index --area 33.9683,130.9747,0.02
    ship=$("$new" search --logs "$dir" --from "${file:0:8}" --to "${file:0:8}" --no-index | sed -n 3p | cut -c1-9)
    echo "single-file views: $file, $(du -m "$day" | cut -f1) MB, ship $ship"
    for view in hours changes kml; do
        out=()
        [ "$view" = kml ] && out=(--out "$tmp/track.kml")
        runcase "$view" -- "$view" --logs "$dir" --file "$file" --ship "$ship" "${out[@]}"
    done
fi
