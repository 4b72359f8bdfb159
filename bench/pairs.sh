# Sourced by the benchmarks that time velkais-log with the day index against
# --no-index in alternating pairs. Needs $V (velkais-log), $tmp (a scratch
# folder) and $pairs (the number of pairs).

# "wall cpu" seconds of one run, to the millisecond: the wall clock from
# bash's microsecond clock, CPU (user + system, steadier than the wall clock
# on a shared machine) from the builtin `times`. /usr/bin/time counts in
# hundredths, too coarse for ratios of a few per cent on runs of 0.3 s.
# Called in a command substitution, so the shell's children are this run alone.
seconds() {
    local start=$EPOCHREALTIME
    "$@" >"$tmp/out"
    local end=$EPOCHREALTIME
    times >"$tmp/times"
    awk -v start="$start" -v end="$end" '
        function s(t) { split(t, p, "m"); return p[1] * 60 + p[2] }
        NR == 2 { printf "%.4f %.4f\n", end - start, s($1) + s($2) }' "$tmp/times"
}
# pair LABEL FRESH -- ARGS...: velkais-log ARGS --no-index against ARGS with
# the index in $tmp/index; FRESH=1 removes the index before each indexed run.
pair() {
    local label=$1 fresh=$2
    shift 3
    local rows=() plain indexed i
    for ((i = 0; i < pairs; i++)); do
        [ "$fresh" = 1 ] && rm -rf "$tmp/index"
        if ((i % 2 == 0)); then
            plain=$(seconds "$V" "$@" --no-index)
            indexed=$(seconds "$V" "$@" --index-dir "$tmp/index")
        else
            indexed=$(seconds "$V" "$@" --index-dir "$tmp/index")
            plain=$(seconds "$V" "$@" --no-index)
        fi
        rows+=("$plain $indexed")
    done
    # Per pair: wall ratio, CPU ratio, the two wall times.
    printf '%s\n' "${rows[@]}" | awk '{ printf "%.4f %.4f %s %s\n", $3 / $1, ($2 > 0 && $4 > 0) ? $4 / $2 : 1, $1, $3 }' >"$tmp/rows"
    printf "%-40s wall median %.3f x (min %.3f, max %.3f), CPU median %.3f x; median %.3f s / %.3f s\n" "$label" \
        "$(stat_of 1 median)" "$(stat_of 1 min)" "$(stat_of 1 max)" "$(stat_of 2 median)" \
        "$(stat_of 3 median)" "$(stat_of 4 median)"
}
# stat_of COLUMN median|min|max over $tmp/rows.
stat_of() {
    cut -d' ' -f"$1" "$tmp/rows" | sort -g | awk -v what="$2" '
        { a[NR] = $1 }
        END {
            if (what == "min") print a[1]
            else if (what == "max") print a[NR]
            else print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2
        }'
}
