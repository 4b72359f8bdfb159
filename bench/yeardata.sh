# Sourced by the year benchmarks: the Release build and the generated year of
# day logs they share.
#   year_build [TARGET...]    builds velkais-log, the generator and TARGETs; sets $build and $V
#   year_logs BUILD DAYS MB [SHAPE]   sets $data and $logs, generating them when the stamp differs
# The logs are made once into bench/data/year-<DAYS>x<MB>mb/ (the demo's shape,
# strait) or year-<DAYS>x<MB>mb-<SHAPE>/ (velkais-demo-data --shape) and reused
# while their stamp matches, then read once into the page cache.
year_build() {
    build="$PWD/build/release"
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" --target velkais-log velkais-demo-data "$@" >/dev/null
    export QT_QPA_PLATFORM=offscreen
    V="$build/cli/velkais-log"
}

year_logs() {
    local build=$1 days=$2 mb=$3 shape=${4:-strait}
    data="$PWD/bench/data/year-${days}x${mb}mb"
    local stamp="seed 1, $days days to 20111231, $mb MB a day"
    if [ "$shape" != strait ]; then
        data+="-$shape"
        stamp+=", shape $shape"
    fi
    logs="$data/logs"
    if [ "$(cat "$data/stamp" 2>/dev/null)" != "$stamp" ]; then
        echo "generating $days day logs of $mb MB ($shape) into $data ..."
        rm -rf "$data"
        "$build/tools/velkais-demo-data" --out "$data" --days "$days" --end 20111231 --mb-per-day "$mb" \
            --shape "$shape" >/dev/null 2>&1
        # Summaries are only made of files that have not changed for a while.
        touch -d '1 day ago' "$logs"/*
        echo "$stamp" >"$data/stamp"
        sleep 2 # the change times settle too
    fi
    cat "$logs"/* >/dev/null
}
