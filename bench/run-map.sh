#!/usr/bin/env bash
# Builds bench_map (Release) and runs it: Ctrl+M to the first complete frame for
# a day of 100,000 reports (the read timed apart), frame times with a track of a
# million points, and the map window's resident memory. The installed coastline
# (beside the program, or ../share/velkais-log-browser/) is used when there is
# one; give another with --coastline FILE. Frame times are CPU times of the
# painting thread, so a busy machine does not inflate them; wall times follow.
#
#   bench/run-map.sh [--coastline FILE] [--frames N]
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/setup.sh
ensure_packages

build="$PWD/build/release"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
targets=(bench_map)
if cmake --build "$build" --target help | grep -q '^coastline:'; then
    targets+=(coastline)
fi
cmake --build "$build" --target "${targets[@]}" -j2 >/dev/null
export QT_QPA_PLATFORM=offscreen
exec "$build/bench/bench_map" "$@"
