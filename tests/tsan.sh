#!/usr/bin/env bash
# The engine, day index and command-line tests under ThreadSanitizer, with the
# period passes on 2 and on 8 worker threads. Not part of ./test: the
# instrumented build and runs are slow.
#
#   tests/tsan.sh [--no-cli]
#
# Builds into build/tsan (as ./test --asan builds build/asan) and exits
# non-zero when a test fails or when any process, velkais-log run by the CLI
# tests included, made a ThreadSanitizer report. Debian's Qt is not
# instrumented: tests/tsan.supp silences reports inside Qt only.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/setup.sh
ensure_packages

cli=1
[ "${1:-}" = "--no-cli" ] && cli=0
start=$SECONDS
dir=build/tsan
tests=(test_numbers test_reader test_matcher test_view test_station test_dayindex test_passages test_parallel)
((cli)) && tests+=(test_cli test_passagescli)

# -O1 keeps the runs bearable; frame pointers give whole stacks.
flags="-fsanitize=thread -g -O1 -fno-omit-frame-pointer"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build "$dir" --target "${tests[@]}"
built=$SECONDS

export QT_QPA_PLATFORM=offscreen
reports="$PWD/$dir/reports"
rm -rf "$reports"
mkdir -p "$reports"
# Every process writes its reports to a file of its own (log_path adds the
# pid), so a report made by a child process the test does not look at counts
# as well.
# ignore_noninstrumented_modules: what Debian's Qt libraries (not instrumented)
# do through TSan's interceptors is not checked, e.g. QtTest's watchdog thread
# freed after a condition wait TSan did not see end. die_after_fork=0: a
# QProcess child (the tests run mkfs and mount) starts a thread before it execs.
opts="suppressions=$PWD/tests/tsan.supp ignore_noninstrumented_modules=1 die_after_fork=0 second_deadlock_stack=1"
status=0
regex="^($(IFS='|'; echo "${tests[*]}"))\$"
for jobs in 2 8; do
    echo "== VELKAIS_JOBS=$jobs"
    VELKAIS_JOBS=$jobs TSAN_OPTIONS="$opts log_path=$reports/jobs$jobs" \
        ctest --test-dir "$dir" -R "$regex" --output-on-failure -j2 || status=1
done

found=$(find "$reports" -type f | sort)
if [ -n "$found" ]; then
    for f in $found; do
        echo "---- $f"
        cat "$f"
    done
    echo "ThreadSanitizer: $(cat $found | grep -c '^WARNING: ThreadSanitizer' || true) reports in $(echo "$found" | wc -l) processes"
    status=1
fi
echo "tsan: build $((built - start)) s, tests $((SECONDS - built)) s, total $((SECONDS - start)) s"
exit $status
