#!/usr/bin/env bash
# velkais-log records over 4 day logs of 100 MB (the Search benchmark's days,
# generated once into bench/data/records/) against grep -c counting the same
# records. Best of N runs (default 5, or the first argument) with the files in
# the page cache; output goes to a pipe, as in a shell pipeline. Prints wall and
# CPU seconds, records read per second, multiples of grep and the peak
# resident size.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/setup.sh
ensure_packages

runs=${1:-5}
build="$PWD/build/release"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target velkais-log velkais-demo-data >/dev/null
export QT_QPA_PLATFORM=offscreen

data="$PWD/bench/data/records"
stamp="seed 1, 4 days to 20110410, 100 MB a day"
if [ "$(cat "$data/stamp" 2>/dev/null)" != "$stamp" ]; then
    rm -rf "$data"
    "$build/tools/velkais-demo-data" --out "$data" --days 4 --end 20110410 --mb-per-day 100 --seed 1 2>/dev/null
    echo "$stamp" >"$data/stamp"
fi
logs=("$data"/logs/*_AIS_FMT.log)
mb=$(du -cb "${logs[@]}" | tail -1 | awk '{printf "%.1f", $1 / 1e6}')
cat "${logs[@]}" >/dev/null

# best COMMAND...: the smallest wall and the smallest CPU seconds (user + system,
# the command's children included) of $runs runs. On a busy machine the CPU
# figure is the steadier one.
best() {
    local w="" c="" t
    for _ in $(seq "$runs"); do
        t=$( { /usr/bin/time -f "%e %U %S" "$@" >/dev/null; } 2>&1 | tail -1)
        w=$(awk -v t="$t" -v b="$w" 'BEGIN { split(t, a, " "); print (b == "" || a[1] < b) ? a[1] : b }')
        c=$(awk -v t="$t" -v b="$c" 'BEGIN { split(t, a, " "); x = a[2] + a[3]; print (b == "" || x < b) ? x : b }')
    done
    echo "$w $c"
}
records=$(LC_ALL=C grep -c -F "MMSI NUMBER" "${logs[@]}" | awk -F: '{ n += $2 } END { print n }')
log=("$build/cli/velkais-log" records --logs "$data/logs" --from 20110407 --to 20110410)

echo "$mb MB of logs, $records records"
read -r grep_w grep_c < <(best sh -c 'LC_ALL=C grep -c -F "MMSI NUMBER" "$@" | cat' sh "${logs[@]}")
printf "%-28s %7s %7s %11s %7s %8s %8s\n" "" "wall s" "CPU s" "records/s" "MB/s" "x grep" "CPU x"
line() { # NAME WALL CPU [NOTE]
    awk -v n="$1" -v w="$2" -v c="$3" -v r="$records" -v m="$mb" -v gw="$grep_w" -v gc="$grep_c" -v note="${4:-}" \
        'BEGIN { printf "%-28s %7.2f %7.2f %11.0f %7.0f %8.2f %8.2f %s\n", n, w, c, r / w, m / w, w / gw, c / gc, note }'
}
line "grep -c" "$grep_w" "$grep_c"
row() {
    local name=$1 lines w c
    shift
    lines=$("$@" | wc -l)
    read -r w c < <(best sh -c '"$@" | cat' sh "$@")
    line "$name" "$w" "$c" "($lines lines)"
}
row "search (ships only)" "$build/cli/velkais-log" search --logs "$data/logs" --from 20110407 --to 20110410
row "records (csv)" "${log[@]}"
row "records --format jsonl" "${log[@]}" --format jsonl
row "records --format geojson" "${log[@]}" --format geojson
row "records --area C (csv)" "${log[@]}" --area 33.9683,130.9747,0.02
peak=$( { /usr/bin/time -f %M "${log[@]}" >/dev/null; } 2>&1 | tail -1)
small=$( { /usr/bin/time -f %M "${log[@]:0:4}" --from 20110407 --to 20110407 >/dev/null; } 2>&1 | tail -1)
echo "peak RSS: $((small / 1024)) MB for one day, $((peak / 1024)) MB for four"
