#!/usr/bin/env bash
# Builds bench_coastline and the coastline file (Release) and runs it on the
# file in the build tree: first frame, pan and zoom frames and memory for a
# harbour, an inland sea at full resolution, Japan and the world.
#
#   bench/run-coastline.sh [--size WxH] [--repeat N]
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/setup.sh
ensure_packages

build="$PWD/build/release"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target bench_coastline coastline >/dev/null
file="$build/share/velkais-log-browser/coastline.bin"
[ -f "$file" ] || { echo "no coastline file was generated: install libnetcdf-dev and gmt-gshhg-*, then rerun" >&2; exit 1; }
export QT_QPA_PLATFORM=offscreen
"$build/bench/bench_coastline" --file "$file" "$@"
