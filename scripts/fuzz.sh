#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset: Debian's clang with ASan and UBSan) and runs
# each for a fixed time, starting from its seed corpus under fuzz/corpus/NAME.
#
#   scripts/fuzz.sh [SECONDS_EACH] [TARGET...]     (30 seconds, every target by default)
#
# FUZZ_JOBS targets run at once (2 by default, one a core of the build machine; each libFuzzer
# process uses one).
#
# What a run finds new is kept in build/fuzz/corpus/NAME, never in the seed corpus. A crash
# stops the script with the reproducer in build/fuzz/artifacts/NAME/: fix the fault, then copy
# the reproducer into fuzz/corpus/NAME, where the ordinary test suites replay it (fuzz_replay_*).
# Prints each target's run count, which docs/reliability.md quotes.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(inventory document_reader document_roundtrip redfish_client cim_xml)
fi

cmake --preset fuzz >/dev/null
cmake --build build/fuzz --parallel 2 --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# One target's run; its output goes to build/fuzz/NAME.log.
fuzz_one() {
    local target=$1
    local work=build/fuzz/corpus/$target artifacts=build/fuzz/artifacts/$target
    mkdir -p "$work" "$artifacts"
    # One process, inputs up to 64 KiB: the bounds under test are reached long before that, and a
    # larger input only slows each run down.
    build/fuzz/fuzz/fuzz_$target -max_total_time="$seconds" -max_len=65536 -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" \
        "$work" "fuzz/corpus/$target" >"build/fuzz/$target.log" 2>&1
}

jobs_at_once=${FUZZ_JOBS:-2}
failed=()
for ((first = 0; first < ${#targets[@]}; first += jobs_at_once)); do
    batch=("${targets[@]:first:jobs_at_once}")
    pids=()
    for target in "${batch[@]}"; do
        fuzz_one "$target" &
        pids+=($!)
    done
    for i in "${!batch[@]}"; do
        target=${batch[i]}
        if wait "${pids[i]}"; then
            runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "build/fuzz/$target.log")
            echo "fuzz: $target: ${runs:-?} runs in ${seconds} s, no failure"
        else
            tail -n 40 "build/fuzz/$target.log"
            echo "fuzz: $target failed; reproducer in build/fuzz/artifacts/$target/" >&2
            failed+=("$target")
        fi
    done
    [ ${#failed[@]} -eq 0 ] || exit 1
done
