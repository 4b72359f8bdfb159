#!/usr/bin/env bash
# Two or more builds of velkais-log side by side, in one run: each round runs
# the first build with --no-index and every build with a fresh index, in an
# order that rotates from round to round, and prints per build the median
# ratio to that --no-index run and the quartiles of its wall times. On a
# shared machine a build's figures from another hour are no comparison: the
# median of a run of pairs moves by a hundredth from one run to the next.
#
#   bench/compare-builds.sh [--logs DIR] [--rounds N] BUILD... -- ARGS...
#
# BUILD: a velkais-log binary (copy each build aside first); ARGS: a command
# and its criteria, e.g. search --area 33.9683,130.9747,0.02. Default logs:
# bench/data/paired/logs (bench/run-index-cost.sh makes them).
set -euo pipefail
cd "$(dirname "$0")/.."

logs="$PWD/bench/data/paired/logs" rounds=21 builds=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
    case "$1" in
        --logs) logs=$2; shift 2 ;;
        --rounds) rounds=$2; shift 2 ;;
        *) builds+=("$1"); shift ;;
    esac
done
[ $# -gt 1 ] && [ ${#builds[@]} -gt 0 ] || { echo "usage: $0 [--logs DIR] [--rounds N] BUILD... -- ARGS..." >&2; exit 2; }
shift
export QT_QPA_PLATFORM=offscreen
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cat "$logs"/* >/dev/null

run() {
    local start=$EPOCHREALTIME
    "$@" --logs "$logs" --from 0 --to 99999999 >/dev/null 2>&1
    awk -v start="$start" -v end="$EPOCHREALTIME" 'BEGIN { printf "%.4f\n", end - start }'
}
# Column 1: --no-index; column 1 + k: build k with a fresh index.
n=$((${#builds[@]} + 1))
for ((i = 0; i < rounds; i++)); do
    row=()
    for ((j = 0; j < n; j++)); do
        v=$(((i + j) % n))
        if ((v == 0)); then
            row[0]=$(run "${builds[0]}" "$@" --no-index)
        else
            rm -rf "$tmp/index"
            row[v]=$(run "${builds[v - 1]}" "$@" --index-dir "$tmp/index")
        fi
    done
    echo "${row[*]}"
done >"$tmp/rows"
quartiles() { sort -g | awk '{ a[NR] = $1 } END { printf "q1 %.4f median %.4f q3 %.4f", a[int(NR / 4) + 1], a[int((NR + 1) / 2)], a[int(3 * NR / 4) + 1] }'; }
echo "--no-index ($(basename "${builds[0]}")): $(cut -d' ' -f1 "$tmp/rows" | quartiles) s"
for ((k = 1; k < n; k++)); do
    echo "${builds[k - 1]}: ratio $(awk -v k=$((k + 1)) '{ print $k / $1 }' "$tmp/rows" | quartiles);" \
        "$(cut -d' ' -f$((k + 1)) "$tmp/rows" | quartiles) s"
done
