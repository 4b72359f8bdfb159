#!/usr/bin/env bash
# What the day index costs or saves a pass, measured in pairs: each pair runs
# the same velkais-log command with --no-index and with the index, in turn
# first and second, and gives the ratio of their wall times. The median, the
# smallest and the largest ratio of the pairs are printed: on a shared machine
# a best-of figure of either side is noise, the ratio of neighbours much less.
#
#   bench/run-index-cost.sh [--logs DIR] [--pairs N]
#
# Default logs: 4 day logs of 100 MB, generated once into bench/data/paired/
# (seed 1, 2011-04-07 to 04-10), back-dated a day, in the page cache.
#   first:  the first pass, building a fresh index as it goes (removed before each run)
#   warm:   with the index every earlier pass left
set -euo pipefail
cd "$(dirname "$0")/.."

logs="" pairs=7
while [ $# -gt 0 ]; do
    case "$1" in
        --logs) logs=$2; shift 2 ;;
        --pairs) pairs=$2; shift 2 ;;
        *) echo "usage: $0 [--logs DIR] [--pairs N]" >&2; exit 2 ;;
    esac
done

build="$PWD/build/release"
if [ -z "${VELK_NO_BUILD:-}" ]; then
    source tools/setup.sh
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" --target velkais-log velkais-demo-data >/dev/null
fi
export QT_QPA_PLATFORM=offscreen
V="$build/cli/velkais-log"

if [ -z "$logs" ]; then
    data="$PWD/bench/data/paired"
    logs="$data/logs"
    stamp="seed 1, 4 days to 20110410, 100 MB a day"
    if [ "$(cat "$data/stamp" 2>/dev/null)" != "$stamp" ]; then
        rm -rf "$data"
        "$build/tools/velkais-demo-data" --out "$data" --days 4 --end 20110410 --mb-per-day 100 >/dev/null 2>&1
        touch -d '1 day ago' "$logs"/*
        echo "$stamp" >"$data/stamp"
        sleep 2 # the change times settle too
    fi
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cat "$logs"/* >/dev/null

source bench/pairs.sh

period=(--logs "$logs" --from 0 --to 99999999)
area=(--area 33.9683,130.9747,0.02)
ship=$("$V" search "${period[@]}" "${area[@]}" --no-index | sed -n 3p | cut -c1-9)
mbytes=$(du -sm "$logs" | cut -f1)
echo "$(ls "$logs" | wc -l) day logs, $mbytes MB; area C; ship $ship; $pairs pairs; load average $(cut -d' ' -f1 /proc/loadavg)"
echo "ratio = with the index / --no-index; times: --no-index / with the index"
pair "search --area C, first (index built)" 1 -- search "${period[@]}" "${area[@]}"
pair "days --ship, first (index built)" 1 -- days "${period[@]}" --ship "$ship"
rm -rf "$tmp/index"
"$V" index --logs "$logs" --index-dir "$tmp/index" >/dev/null
pair "search --area C, warm" 0 -- search "${period[@]}" "${area[@]}"
pair "search, no criteria, warm" 0 -- search "${period[@]}"
pair "days --ship --area C, warm" 0 -- days "${period[@]}" --ship "$ship" "${area[@]}"
