#!/bin/sh
# A longer fuzzing campaign: every target for the given number of seconds (default 60), from the
# committed seeds, after `cmake --build --preset host`. Prints the executions of each target;
# a target that breaks a property stops with its input saved under the working folder.
#   tests/fuzz/campaign.sh [seconds] [build folder]
set -eu
seconds=${1:-60}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${2:-$root/build/host}
bin=$build/tests/fuzz/clang
[ -x "$bin/fuzz_cmdline" ] || bin=$build/tests/fuzz
work=$build/tests/fuzz/campaign
status=0
for target in cmdline wininit_rewrite wininit_read pending; do
    log=$work/$target.log
    mkdir -p "$work"
    if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "$here/run_target.sh" "$bin/fuzz_$target" "$here/corpus/$target" "$work/$target" \
        -max_total_time="$seconds" -print_final_stats=1 >"$log" 2>&1; then
        result=ok
    else
        result="PROPERTY BROKEN (see $log)"
        status=1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    printf '%-16s %10s executions in %ss  %s\n' "$target" "${runs:-?}" "$seconds" "$result"
done
exit $status
