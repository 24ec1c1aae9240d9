#!/usr/bin/env bash
# Builds and runs every test twice: on Linux with AddressSanitizer, UndefinedBehaviorSanitizer
# and warnings as errors, and as the Windows x64 DLL under Wine. The two suites run at the same
# time, each with two tests at once, so that tests sharing a scratch file collide here rather
# than now and then elsewhere. Then checks that both suites hold the same tests, apart from
# those that are platform-specific by nature; runs each fuzz target for a fixed time, two at once
# (scripts/fuzz.sh, FUZZ_SECONDS each, 30 by default) and the concurrency test built with
# ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

# Each phase's wall time and the processor time its processes took (user and system, children
# included), printed as it ends and summed up at the end (docs/reliability.md). On a shared
# machine the wall time depends on the load; the processor time hardly does.
timings=()
cpu_seconds() {
    # cutime and cstime of this shell: the processes it has waited for, and theirs.
    awk -v hz="$(getconf CLK_TCK)" '{ sub(/.*\) /, ""); printf "%d", ($14 + $15) / hz }' /proc/$$/stat
}
phase_began=$(date +%s)
phase_cpu=$(cpu_seconds)
phase_done() {
    local now cpu
    now=$(date +%s)
    cpu=$(cpu_seconds)
    timings+=("$(printf '%5d s wall %6d s cpu  %s' $((now - phase_began)) $((cpu - phase_cpu)) "$1")")
    echo "-- $1: $((now - phase_began)) s, $((cpu - phase_cpu)) s of processor time" \
        "(load $(cut -d' ' -f1-3 /proc/loadavg))"
    phase_began=$now
    phase_cpu=$cpu
}
trap 'printf "%s\n" "== Timings" "${timings[@]}"' EXIT

scripts/install-deps.sh --test
phase_done "packages checked"

echo "== Build: Linux (sanitizers), Windows x64"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize --parallel "$(nproc)"
phase_done "sanitize build"
cmake --preset windows >/dev/null
cmake --build --preset windows --parallel "$(nproc)"
phase_done "windows build"

echo "== Tests: Linux (sanitizers) and Windows x64 (under Wine), side by side"
ctest --preset sanitize >build/sanitize/test.log 2>&1 &
linux=$!
ctest --preset windows >build/windows/test.log 2>&1 &
windows=$!
failed=()
wait "$linux" || failed+=(Linux)
wait "$windows" || failed+=(Windows)
phase_done "both suites, side by side"
tail -n 5 build/sanitize/test.log build/windows/test.log
if [ ${#failed[@]} -gt 0 ]; then
    for suite in "${failed[@]}"; do
        log=build/sanitize/test.log
        [ "$suite" = Windows ] && log=build/windows/test.log
        echo "== $suite suite failed ($log):"
        grep -A 200 "tests failed" "$log" || true
        # What each failed test printed (the presets keep the output of failures only).
        awk '/[*][*][*](Failed|Exception|Timeout)/ { show = 1 } /^ +Start +[0-9]+:/ { show = 0 } show' \
            "$log" | head -n 800
    done
    exit 1
fi

echo "== Both suites"
scripts/compare-suites.sh build/sanitize build/windows
phase_done "suites compared"

echo "== Fuzzing"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --parallel "$(nproc)"
phase_done "fuzz build"
scripts/fuzz.sh "${FUZZ_SECONDS:-30}"
phase_done "fuzz runs"

echo "== Concurrency under ThreadSanitizer"
cmake --preset tsan >/dev/null
cmake --build --preset tsan --parallel "$(nproc)"
phase_done "tsan build"
ctest --preset tsan
phase_done "tsan test"
