#!/usr/bin/env bash
# Builds bench_search (Release) and runs it twice: on 4 x 1 MB of generated day
# logs, for the memory baseline, and on 4 x 100 MB, for the figures. The peak
# resident size of the two runs must be about the same: a pass streams its
# files. Extra arguments (--repeat N) go to both runs. Logs are generated once
# into bench/data/; delete that folder after changing the generator.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/setup.sh
ensure_packages

build="$PWD/build/release"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target bench_search
export QT_QPA_PLATFORM=offscreen

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$build/bench/bench_search" --mb-per-day 1 "$@" >"$out/small" || true
status=0
"$build/bench/bench_search" --mb-per-day 100 "$@" | tee "$out/large" || status=$?

peak() { sed -n 's/^peak RSS: \([0-9.]*\) MB.*/\1/p' "$1"; }
size() { sed -n 's/^[0-9]* day logs, \([0-9.]*\) MB.*/\1/p' "$1"; }
echo
echo "peak RSS: $(peak "$out/small") MB for $(size "$out/small") MB of logs, $(peak "$out/large") MB for $(size "$out/large") MB"
exit "$status"
