#!/usr/bin/env bash
# A year of day logs and the day index, timed through velkais-log against
# grep -c -F over the same files in the same run (all in the page cache).
#
#   bench/run-year.sh [--days N] [--mb-per-day M] [--repeat R] [--pairs P]
#
# Defaults: 365 days of 30 MB (11 GB). The logs are generated once into
# bench/data/year-<N>x<M>mb/ and reused while their stamp matches; every index
# lives in a fresh temporary folder, so the user's cache is never touched.
# Figures are the best of R runs (default 3); a first pass, which builds the
# index as it goes, gets a fresh index for each of its runs. Last, P pairs
# (default 5) of runs with and without the index, alternating, for the ratios
# (bench/pairs.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/setup.sh
ensure_packages time bc

days=365 mb=30 repeat=3 pairs=5
while [ $# -gt 0 ]; do
    case "$1" in
        --days) days=$2; shift 2 ;;
        --mb-per-day) mb=$2; shift 2 ;;
        --repeat) repeat=$2; shift 2 ;;
        --pairs) pairs=$2; shift 2 ;;
        *) echo "usage: $0 [--days N] [--mb-per-day M] [--repeat R] [--pairs P]" >&2; exit 2 ;;
    esac
done

source bench/yeardata.sh
year_build bench_year
year_logs "$build" "$days" "$mb"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

now() { date +%s.%N; }
# Wall seconds of one run of the command. The output goes to a file: GNU grep
# stops at the first match when it writes to /dev/null.
once() {
    local t0 t1
    t0=$(now)
    "$@" >"$tmp/out"
    t1=$(now)
    echo "$t1 - $t0" | bc -l
}
# The best of R runs; with FRESH set, that folder is removed before each run.
best() {
    local b="" t i
    for ((i = 0; i < repeat; i++)); do
        [ -n "${FRESH:-}" ] && rm -rf "$FRESH"
        t=$(once "$@")
        if [ -z "$b" ] || [ "$(echo "$t < $b" | bc -l)" = 1 ]; then b=$t; fi
    done
    echo "$b"
}
ratio() { echo "scale=4; $1 / $2" | bc -l; }
fmt() { printf "%8.3f s" "$1"; }
peak() { /usr/bin/time -f %M "$@" 2>&1 >"$tmp/out" | tail -1; }

period=(--logs "$logs" --from 2011 --to 2012)
ship=$("$V" search "${period[@]}" --no-index | sed -n 5p | cut -c1-9)
area=(--area 33.9683,130.9747,0.02)
mbytes=$(du -sm "$logs" | cut -f1)
echo "$days day logs, $mbytes MB; ship $ship; area C = ${area[1]}; load average $(cut -d' ' -f1 /proc/loadavg)"

grep_s=$(LC_ALL=C best grep -c -F "MMSI NUMBER" "$logs"/*)
echo "grep -c -F over the same files:        $(fmt "$grep_s")"

# First passes: --no-index against a fresh index being built as they go.
search_plain=$(best "$V" search "${period[@]}" --no-index)
search_first=$(FRESH="$tmp/s" best "$V" search "${period[@]}" --index-dir "$tmp/s")
days_plain=$(best "$V" days "${period[@]}" --ship "$ship" --no-index)
days_first=$(FRESH="$tmp/d" best "$V" days "${period[@]}" --ship "$ship" --index-dir "$tmp/d")
echo "search, --no-index:                    $(fmt "$search_plain")  ($(ratio "$search_plain" "$grep_s") x grep)"
echo "search, first with the index built:    $(fmt "$search_first")  ($(ratio "$search_first" "$search_plain") x --no-index)"
echo "days, --no-index:                      $(fmt "$days_plain")  ($(ratio "$days_plain" "$grep_s") x grep)"
echo "days, first with the index built:      $(fmt "$days_first")  ($(ratio "$days_first" "$days_plain") x --no-index)"

# With the index in place.
idx=(--index-dir "$tmp/s")
days_idx=$(best "$V" days "${period[@]}" --ship "$ship" "${idx[@]}")
area_plain=$(best "$V" days "${period[@]}" --ship "$ship" "${area[@]}" --no-index)
area_idx=$(best "$V" days "${period[@]}" --ship "$ship" "${area[@]}" "${idx[@]}")
mmsi_plain=$(best "$V" search "${period[@]}" --mmsi "$ship" --no-index)
mmsi_idx=$(best "$V" search "${period[@]}" --mmsi "$ship" "${idx[@]}")
search_idx=$(best "$V" search "${period[@]}" "${idx[@]}")
area_days=$("$V" days "${period[@]}" --ship "$ship" "${area[@]}" --no-index | wc -l)
echo "days, no area, with the index:         $(fmt "$days_idx")  ($(ratio "$days_idx" "$grep_s") x grep)"
echo "days, area C, --no-index:              $(fmt "$area_plain")"
echo "days, area C, with the index:          $(fmt "$area_idx")  ($(ratio "$area_idx" "$area_plain") x --no-index; $area_days days listed)"
echo "search --mmsi, --no-index:             $(fmt "$mmsi_plain")"
echo "search --mmsi, with the index:         $(fmt "$mmsi_idx")  ($(ratio "$mmsi_idx" "$grep_s") x grep)"
echo "search, no criteria, with the index:   $(fmt "$search_idx")  ($(ratio "$search_idx" "$grep_s") x grep)"

# Clicks on ships in List1 of the real window: best click, ships listed, files per click.
read -r click ships files < <("$build/bench/bench_year" --data "$data" --index-dir "$tmp/s" --repeat "$((repeat * 2))" 2>/dev/null)
echo "Form1 click in List1, no area:         $(fmt "$click")  ($(ratio "$click" "$grep_s") x grep; $files files listed)"
read -r click ships files < <("$build/bench/bench_year" --data "$data" --index-dir "$tmp/s" --area --repeat "$((repeat * 2))" 2>/dev/null)
echo "Form1 click in List1, area C:          $(fmt "$click")  ($files files listed)"

# velkais-log index on a fresh index, one job and two.
jobs1=$(FRESH="$tmp/j1" best "$V" index --logs "$logs" --jobs 1 --index-dir "$tmp/j1")
jobs2=$(FRESH="$tmp/j2" best "$V" index --logs "$logs" --jobs 2 --index-dir "$tmp/j2")
echo "index --jobs 1:                        $(fmt "$jobs1")"
echo "index --jobs 2:                        $(fmt "$jobs2")  ($(ratio "$jobs1" "$jobs2") x as fast)"

db_kb=$(du -sk "$tmp/j2" | cut -f1)
echo "database: $db_kb KB for $mbytes MB of logs ($(echo "scale=3; 100 * $db_kb / 1024 / $mbytes" | bc -l) %)"

# Peak memory: the whole period against its first month, with the index.
month=(--logs "$logs" --from 2011 --to 20110131)
echo "peak RSS, days with the index: $(peak "$V" days "${month[@]}" --ship "$ship" "${idx[@]}") KB for January," \
     "$(peak "$V" days "${period[@]}" --ship "$ship" "${idx[@]}") KB for the year"
echo "peak RSS, first search building the index: $(peak "$V" search "${month[@]}" --index-dir "$tmp/m1") KB for January," \
     "$(peak "$V" search "${period[@]}" --index-dir "$tmp/m2") KB for the year"

# Paired against --no-index: the area C Search, the days of a ship seen in
# area C with the area on, and the first passes.
source bench/pairs.sh
ship_c=$("$V" search "${period[@]}" "${area[@]}" --no-index | sed -n 1p | cut -c1-9)
echo "paired, $pairs pairs; ratio = with the index / --no-index; ship of area C $ship_c"
pair "search --area C, first (index built)" 1 -- search "${period[@]}" "${area[@]}"
pair "days --ship, first (index built)" 1 -- days "${period[@]}" --ship "$ship"
rm -rf "$tmp/index"
"$V" index --logs "$logs" --index-dir "$tmp/index" >/dev/null
pair "search --area C, warm" 0 -- search "${period[@]}" "${area[@]}"
pair "days --ship (area C's) --area C, warm" 0 -- days "${period[@]}" --ship "$ship_c" "${area[@]}"
pair "days --ship, warm" 0 -- days "${period[@]}" --ship "$ship"
pair "search, no criteria, warm" 0 -- search "${period[@]}"
if command -v strace >/dev/null; then
    strace -f -e trace=openat -o "$tmp/strace" "$V" search "${period[@]}" "${area[@]}" --index-dir "$tmp/index" >/dev/null
    echo "search --area C, warm: $(grep -c '_AIS_FMT.log", O_RDONLY' "$tmp/strace" || true) of $days day logs opened (strace)"
fi
