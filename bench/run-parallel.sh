#!/usr/bin/env bash
# Period passes on several threads, on two shapes of logs: the demo's (strait)
# and 2,000 ships wandering a 1-degree square (wander, many cells a ship a day).
# Everything is timed in pairs in one run, alternating which side goes first,
# and the median of the pairs' ratios is printed with their smallest and
# largest (bench/pairs.sh):
#   1. search --no-index --area C over the year with --jobs 1, 2, 4 against
#      ripgrep counting "MMSI NUMBER" with -j1, -j2, -j4 over the same files;
#   2. the first pass, building the index (a fresh one each run), against the
#      --no-index pass with the same threads, at 1 and 2 threads;
#   3. --jobs 1 against the last build's pass (--base REF, built once into
#      bench/data/base-<commit>/);
#   4. the warm year's days for one ship on the wander shape, against the last
#      build's (the decoding cost of the summaries' cells).
#
#   bench/run-parallel.sh [--days N] [--mb-per-day M] [--pairs P] [--base REF] [--shapes "strait wander"]
#
# Defaults: 365 days of 3 MB of each shape (bench/yeardata.sh makes them once),
# 5 pairs, base b24f45f (the pass of one thread and today's reader). 4 threads
# on a 2-core machine show what oversubscription costs.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/setup.sh
ensure_packages ripgrep

days=365 mb=3 pairs=5 base=b24f45f shapes="strait wander"
while [ $# -gt 0 ]; do
    case "$1" in
        --days) days=$2; shift 2 ;;
        --mb-per-day) mb=$2; shift 2 ;;
        --pairs) pairs=$2; shift 2 ;;
        --base) base=$2; shift 2 ;;
        --shapes) shapes=$2; shift 2 ;;
        *) echo "usage: $0 [--days N] [--mb-per-day M] [--pairs P] [--base REF] [--shapes \"strait wander\"]" >&2; exit 2 ;;
    esac
done

source bench/yeardata.sh
year_build

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
source bench/pairs.sh

# The last build: the velkais-log of an earlier commit, built from its tree
# once and kept beside the generated logs.
commit=$(git rev-parse --verify "$base^{commit}")
B="$PWD/bench/data/base-$commit/velkais-log"
if [ ! -x "$B" ]; then
    echo "building velkais-log of $base ($commit) ..."
    src="$PWD/bench/data/base-$commit/src"
    rm -rf "$src"
    mkdir -p "$src"
    git archive "$commit" | tar -x -C "$src"
    cmake -S "$src" -B "$src/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELK_BUILD_TESTS=OFF >/dev/null
    cmake --build "$src/build" --target velkais-log >/dev/null
    cp "$src/build/cli/velkais-log" "$B"
    rm -rf "$src"
fi

# The threads of a pass: --jobs where this build has it for every subcommand,
# else VELKAIS_JOBS (a build without either reads with one thread).
if "$V" search --help 2>&1 | grep -q -- --jobs; then
    jobs_of() { jobopt=(--jobs "$1"); }
else
    echo "note: this velkais-log has no --jobs for search; the threads go through VELKAIS_JOBS"
    jobs_of() { jobopt=(); export VELKAIS_JOBS=$1; }
fi

# versus LABEL A B: $pairs pairs of the commands (shell functions) A and B,
# alternating which runs first; ratio = B / A. With $fresh set, that folder is
# removed before every run.
versus() {
    local label=$1 a=$2 b=$3 ta tb i
    : >"$tmp/pairs"
    for ((i = 0; i < pairs; i++)); do
        if ((i % 2 == 0)); then
            [ -n "${fresh:-}" ] && rm -rf "$fresh"
            ta=$(seconds "$a")
            [ -n "${fresh:-}" ] && rm -rf "$fresh"
            tb=$(seconds "$b")
        else
            [ -n "${fresh:-}" ] && rm -rf "$fresh"
            tb=$(seconds "$b")
            [ -n "${fresh:-}" ] && rm -rf "$fresh"
            ta=$(seconds "$a")
        fi
        echo "$ta $tb" >>"$tmp/pairs"
    done
    awk '{ printf "%.4f %.4f %s %s\n", $3 / $1, ($2 > 0 && $4 > 0) ? $4 / $2 : 1, $1, $3 }' "$tmp/pairs" >"$tmp/rows"
    printf "  %-46s %6.3f x (min %.3f, max %.3f), CPU %.3f x; median %.3f s / %.3f s\n" "$label" \
        "$(stat_of 1 median)" "$(stat_of 1 min)" "$(stat_of 1 max)" "$(stat_of 2 median)" \
        "$(stat_of 3 median)" "$(stat_of 4 median)"
}

area=(--area 33.9683,130.9747,0.02)
rg_count() { rg --no-config -c -F "MMSI NUMBER" -j"$threads" "$logs"/*; }
plain() { "$V" search "${period[@]}" "${area[@]}" "${jobopt[@]}" --no-index; }
first() { "$V" search "${period[@]}" "${area[@]}" "${jobopt[@]}" --index-dir "$tmp/index"; }
base_plain() { "$B" search "${period[@]}" "${area[@]}" --no-index; }
days_warm() { "$V" days "${period[@]}" --ship "$ship" "${jobopt[@]}" --index-dir "$tmp/warm"; }
base_days_warm() { "$B" days "${period[@]}" --ship "$ship" --index-dir "$tmp/base-warm"; }

echo "$(nproc) cores; $pairs pairs; last build $base ($commit); load average $(cut -d' ' -f1 /proc/loadavg)"
for shape in $shapes; do
    year_logs "$build" "$days" "$mb" "$shape"
    period=(--logs "$logs" --from 2011 --to 2012)
    unset VELKAIS_JOBS
    jobs_of 1
    listed=$(plain | wc -l || true)
    echo "== $shape: $days day logs, $(du -sm "$logs" | cut -f1) MB; area C = ${area[1]}, $listed ships listed"

    echo " search --no-index --area C against rg -c -F \"MMSI NUMBER\" (ratio to rg):"
    for threads in 1 2 4; do
        jobs_of "$threads"
        versus "--jobs $threads / rg -j$threads" rg_count plain
    done

    echo " first pass building the index against --no-index, same threads:"
    for threads in 1 2; do
        jobs_of "$threads"
        fresh="$tmp/index" versus "--jobs $threads, index cold / --no-index" plain first
    done

    echo " --jobs 1 against the last build, search --no-index --area C:"
    jobs_of 1
    versus "--jobs 1 / last build" base_plain plain

    if [ "$shape" = wander ]; then
        # The fifth ship of the year's list, as bench/run-year.sh picks it
        # (the list stops at its limit of 1000 ships: exit status 3).
        ship=$("$V" search "${period[@]}" --no-index --quiet 2>/dev/null | sed -n 5p | cut -c1-9 || true)
        rm -rf "$tmp/warm" "$tmp/base-warm"
        "$V" index --logs "$logs" --index-dir "$tmp/warm" --quiet
        "$B" index --logs "$logs" --index-dir "$tmp/base-warm" --quiet
        echo " the warm year's days for ship $ship ($(days_warm | wc -l || true) days) against the last build:"
        versus "days --ship, warm / last build's" base_days_warm days_warm
    fi
done
