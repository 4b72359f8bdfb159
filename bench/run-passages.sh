#!/usr/bin/env bash
# Passages through the areas: velkais-log passages over a (reduced) year with
# the day index against --no-index in alternating pairs, its first pass
# (index built as it goes) against a Search --no-index of the same period, and
# the passages window with 100,000 passages (bench_passages).
#
#   bench/run-passages.sh [--days N] [--mb-per-day M] [--pairs P]
#
# Defaults: 365 days of 3 MB, generated once into bench/data/year-<N>x<M>mb/ as
# bench/run-year.sh does (same seed and stamp, so the two share the data).
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/setup.sh
ensure_packages time bc

days=365 mb=3 pairs=5
while [ $# -gt 0 ]; do
    case "$1" in
        --days) days=$2; shift 2 ;;
        --mb-per-day) mb=$2; shift 2 ;;
        --pairs) pairs=$2; shift 2 ;;
        *) echo "usage: $0 [--days N] [--mb-per-day M] [--pairs P]" >&2; exit 2 ;;
    esac
done

source bench/yeardata.sh
year_build bench_passages
year_logs "$build" "$days" "$mb"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
source bench/pairs.sh

period=(--logs "$logs" --from 2011 --to 2012)
area=(--area 33.9683,130.9747,0.02)
echo "$days day logs, $(du -sm "$logs" | cut -f1) MB; area C = ${area[1]}; load average $(cut -d' ' -f1 /proc/loadavg)"
echo "passages through area C: $("$V" passages "${period[@]}" "${area[@]}" --no-index | wc -l)," \
     "in $("$V" passages "${period[@]}" "${area[@]}" --no-index --format csv | cut -d, -f4 | cut -c1-10 | sort -u | grep -c 20) days"

# The first pass, building the index, against a Search that reads the same
# files without one: pairs alternating which goes first.
rows=()
for ((i = 0; i < pairs; i++)); do
    rm -rf "$tmp/index"
    if ((i % 2 == 0)); then
        search=$(seconds "$V" search "${period[@]}" "${area[@]}" --no-index)
        first=$(seconds "$V" passages "${period[@]}" "${area[@]}" --index-dir "$tmp/index")
    else
        first=$(seconds "$V" passages "${period[@]}" "${area[@]}" --index-dir "$tmp/index")
        search=$(seconds "$V" search "${period[@]}" "${area[@]}" --no-index)
    fi
    rows+=("$search $first")
done
printf '%s\n' "${rows[@]}" | awk '{ printf "%.4f %.4f %s %s\n", $3 / $1, ($2 > 0 && $4 > 0) ? $4 / $2 : 1, $1, $3 }' >"$tmp/rows"
printf "%-40s wall median %.3f x (min %.3f, max %.3f), CPU median %.3f x; median %.3f s / %.3f s\n" \
    "passages first / search --no-index" "$(stat_of 1 median)" "$(stat_of 1 min)" "$(stat_of 1 max)" \
    "$(stat_of 2 median)" "$(stat_of 3 median)" "$(stat_of 4 median)"

# With the index warm: only the days a ship reached the square, and their neighbours, are read.
rm -rf "$tmp/index"
"$V" index --logs "$logs" --index-dir "$tmp/index" >/dev/null
pair "passages area C, warm / --no-index" 0 -- passages "${period[@]}" "${area[@]}"
pair "passages area C --count day, warm" 0 -- passages "${period[@]}" "${area[@]}" --count day
if command -v strace >/dev/null; then
    strace -f -e trace=openat -o "$tmp/strace" "$V" passages "${period[@]}" "${area[@]}" --index-dir "$tmp/index" >/dev/null
    echo "passages area C, warm: $(grep -c '_AIS_FMT.log", O_RDONLY' "$tmp/strace" || true) of $days day logs opened (strace)"
fi
# A square ships reach on few days (one 0.01-degree cell beside the fairway):
# the warm pass reads only those days and their neighbours.
quiet=(--area 33.935,131.025,0.004)
echo "quiet square ${quiet[1]}: passages in $("$V" passages "${period[@]}" "${quiet[@]}" --no-index --format csv |
    cut -d, -f4 | cut -c1-10 | sort -u | grep -c 20) days"
pair "passages quiet square, warm / --no-index" 0 -- passages "${period[@]}" "${quiet[@]}"
if command -v strace >/dev/null; then
    strace -f -e trace=openat -o "$tmp/strace" "$V" passages "${period[@]}" "${quiet[@]}" --index-dir "$tmp/index" >/dev/null
    echo "passages quiet square, warm: $(grep -c '_AIS_FMT.log", O_RDONLY' "$tmp/strace" || true) opens of $days day logs (strace; the index's check that a log is readable opens it too)"
    # With one job every log read is one the pass needs; with more, workers
    # also read ahead the day before every day read.
    strace -f -e trace=openat -o "$tmp/strace" "$V" passages "${period[@]}" "${quiet[@]}" --index-dir "$tmp/index" \
        --jobs 1 >/dev/null
    echo "passages quiet square, warm, --jobs 1: $(grep -c '_AIS_FMT.log", O_RDONLY' "$tmp/strace" || true) opens" \
         "of $days day logs"
fi
echo "peak RSS, passages area C over the year: $(/usr/bin/time -f %M "$V" passages "${period[@]}" "${area[@]}" \
    --index-dir "$tmp/index" --format geojson 2>&1 >/dev/null | tail -1) KB (GeoJSON, every fix kept)"

"$build/bench/bench_passages"
