#!/usr/bin/env bash
# The station report over a year of day logs: from a warm day index (which
# should read no log), without the index, the index's size beside the logs',
# and, given a velkais-log built before the station's figures were added to
# the summaries, the first pass (which builds the index) of both paired in
# one run (bench/compare-builds.sh).
#
#   bench/run-report.sh [--days N] [--mb-per-day M] [--repeat R] [--base BIN] [--rounds K]
#
# Defaults: 365 days of 3 MB, the shape of bench/run-year.sh's year at a tenth
# of its size (same generator, same end date); logs are kept in bench/data/.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/setup.sh
ensure_packages bc

days=365 mb=3 repeat=3 base="" rounds=11
while [ $# -gt 0 ]; do
    case "$1" in
        --days) days=$2; shift 2 ;;
        --mb-per-day) mb=$2; shift 2 ;;
        --repeat) repeat=$2; shift 2 ;;
        --base) base=$(realpath "$2"); shift 2 ;;
        --rounds) rounds=$2; shift 2 ;;
        *) echo "usage: $0 [--days N] [--mb-per-day M] [--repeat R] [--base BIN] [--rounds K]" >&2; exit 2 ;;
    esac
done

source bench/yeardata.sh
year_build
year_logs "$build" "$days" "$mb"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

seconds() {
    local start=$EPOCHREALTIME
    "$@" >"$tmp/out" 2>"$tmp/err"
    awk -v start="$start" -v end="$EPOCHREALTIME" 'BEGIN { printf "%.3f\n", end - start }'
}
best() {
    local b="" t i
    for ((i = 0; i < repeat; i++)); do
        t=$(seconds "$@")
        if [ -z "$b" ] || [ "$(echo "$t < $b" | bc -l)" = 1 ]; then b=$t; fi
    done
    echo "$b"
}

report=(report --logs "$logs" --from 2011 --to 2012 --station 33.95,130.95)
first=$(seconds "$V" "${report[@]}" --index-dir "$tmp/index")
warm=$(best "$V" "${report[@]}" --index-dir "$tmp/index")
cp "$tmp/out" "$tmp/warm"
plain=$(best "$V" "${report[@]}" --no-index)
cmp -s "$tmp/out" "$tmp/warm" && same=yes || same=NO
logbytes=$(du -sb "$logs" | cut -f1)
indexbytes=$(du -sb "$tmp/index" | cut -f1)
echo "year report, $days days of $mb MB ($((logbytes / 1000000)) MB):"
echo "  first (builds the index) $first s, warm index $warm s, --no-index $plain s; same output: $same"
echo "  index $((indexbytes / 1000)) kB = $(echo "scale=3; 100 * $indexbytes / $logbytes" | bc -l) % of the logs"

if [ -n "$base" ]; then
    echo "first pass with a fresh index (search), the build before the station's figures against this one:"
    bench/compare-builds.sh --logs "$logs" --rounds "$rounds" "$base" "$V" -- search
fi
