#!/usr/bin/env bash
# Builds bench_stress (Release) and runs its two scenarios, each in a process of
# its own so that each peak resident size is its own: a 2 GB Search of 1500
# ships with the user typing and clicking throughout, and a 200 MB log without
# a line end. Logs are generated once into bench/data/stress/; delete that
# folder after changing the generator. Every run ends by itself: bench_stress
# gives up after 10 minutes. Exit status 0 when both met every target.
set -uo pipefail
cd "$(dirname "$0")/.."
source tools/setup.sh
ensure_packages

build="$PWD/build/release"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1
cmake --build "$build" --target bench_stress -j2 || exit 1
export QT_QPA_PLATFORM=offscreen

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
status=0
for scenario in fleet noeol; do
    "$build/bench/bench_stress" "$scenario" | tee "$out/$scenario"
    code=${PIPESTATUS[0]}
    [ "$code" -eq 0 ] || status=1
    # A crash or the watchdog leaves no table line: say so in the table.
    grep -q '^table: ' "$out/$scenario" || echo "table: $scenario|||||||ended with status $code" >>"$out/$scenario"
done

echo
{
    echo "scenario|MB of logs|longest gap ms|RSS MB click -> highest|peak RSS MB|MB/s|ships|files|result"
    sed -n 's/^table: //p' "$out/fleet" "$out/noeol"
} | awk -F'|' '{ printf "%-8s  %10s  %14s  %22s  %11s  %6s  %5s  %5s  %s\n", $1, $2, $3, $4, $5, $6, $7, $8, $9 }'
exit "$status"
