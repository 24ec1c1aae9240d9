#!/usr/bin/env bash
# Mutation check of the tests: applies the one-line faults listed in scripts/mutants.txt one at a
# time, rebuilds incrementally, runs the tests that cover the mutated file through ctest and
# reports which faults no test noticed. The tests of a file are the test programs that compile or
# link it and, for the in-house network libraries and the tool, the tool's cases against the
# loopback test servers (redfish_*, cim_*, fleet_*, tool_*).
#
#   scripts/mutants.sh [TEXT]     only the mutations whose line in the list contains TEXT
#
# MUTANTS_LIST=FILE takes the mutations from FILE instead of scripts/mutants.txt.
# MUTANTS_TRUST_BASELINE=1 skips running the unmutated tests first (when a run just did).
#
# It works on a mirror of the checkout in build/mutants/src (built in build/mutants/build, Linux,
# Debug without sanitizers), so the checkout itself is never edited and other builds are not
# disturbed. The mirror is brought up to date with the checkout on every run; each mutated file is
# put back whatever way the script ends. Each mutation's tests stop at the first failure, and no
# test runs longer than MUTANT_TEST_TIMEOUT seconds (120; one that does counts as a failure).
#
# Each mutation's line reads killed, equivalent (survived, and listed as such), SURVIVED, STALE,
# NO-BUILD, or NOT-EQUIV (killed, though listed as equivalent), with the seconds it took.
#
# Exit status: 0 when every mutation was killed or is listed as equivalent; 1 when one survived,
# is stale (its pattern no longer changes its file), does not build, or was killed although listed
# as equivalent; 2 when the unmutated tests fail or the list cannot be read.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
list=${MUTANTS_LIST:-$root/scripts/mutants.txt}
select=${1:-}
work=$root/build/mutants
src=$work/src
bin=$work/build
python=/usr/bin/python3
[[ -x $python ]] || python=python3

# The test programs that exercise each source file: every program that compiles or links it.
programs_for() {
    case $1 in
        Src/Utility/SystemInfo/SystemInfoScan.cpp) echo system_info_scan_tests ;;
        Src/Utility/SystemInfo/DocumentRules.* | Src/Utility/SystemInfo/SystemInfoPTree.cpp)
            echo system_info_document_tests ;;
        Src/Utility/SystemInfo/*) echo system_info_scan_tests system_info_document_tests ;;
        Src/Utility/Timer/*) echo timer_tests system_info_scan_tests ;;
        common/*) echo common_tests system_info_scan_tests system_info_document_tests ;;
        tesmora/src/redfish/* | tesmora/src/cim/*) echo tesmora_unit_tests ;;
        tesmora/src/transport/*) echo transport_tests tesmora_unit_tests ;;
        tesmora/src/*) echo tesmora_unit_tests transport_tests tesmora_tests ;;
        tools/quendal-sysinfo/fleet/*) echo fleet_tests output_tests ;;
        tools/quendal-sysinfo/output/*) echo output_tests documents_tests ;;
        tools/quendal-sysinfo/documents/*) echo documents_tests output_tests ;;
        tools/*) echo ;;
        *) echo system_info_scan_tests system_info_document_tests common_tests timer_tests ;;
    esac
}

# The tool's cases (a ctest regular expression) that exercise each source file: those of the
# protocol a client speaks, and for the tool's rooms those that run the tool, so that a fault is
# caught at the level that tests it best. Empty for files no case reaches.
cases_for() {
    case $1 in
        tesmora/src/redfish/*) echo '^redfish_' ;;
        tesmora/src/cim/*) echo '^cim_' ;;
        # The transport's bounds include the endpoint's time, which only fleets set.
        tesmora/src/*) echo '^(redfish|cim|fleet)_' ;;
        tools/quendal-sysinfo/fleet/*) echo '^(fleet_|tool_)|^LinuxHost[A-Za-z]*$' ;;
        tools/quendal-sysinfo/output/*) echo '^tool_|^LinuxHost[A-Za-z]*$|^fuzz_replay_document_roundtrip$' ;;
        tools/*) echo '^(tool_|fleet_)|^LinuxHost[A-Za-z]*$' ;;
        *) echo ;;
    esac
}
all_cases='^(redfish_|cim_|fleet_|tool_)|^LinuxHost[A-Za-z]*$|^fuzz_replay_document_roundtrip$'

# Copies what differs from the checkout into the mirror and drops what the checkout no longer
# has. Copies get a fresh time stamp, so the next build recompiles whatever changed.
sync_mirror() {
    mkdir -p "$src"
    local file
    (cd "$root" && find . \( -path './build*' -o -path ./out -o -path ./.git \
        -o -name __pycache__ \) -prune -o -type f -print0) | while IFS= read -r -d '' file; do
        if ! cmp -s "$root/$file" "$src/$file"; then
            mkdir -p "$(dirname "$src/$file")"
            cp "$root/$file" "$src/$file"
        fi
    done
    (cd "$src" && find . -name __pycache__ -prune -o -type f -print0) |
        while IFS= read -r -d '' file; do
            [[ -e $root/$file ]] || rm -f "$src/$file"
        done
}

# The file under mutation and its pristine copy; the trap puts the copy back on every exit.
mutated=
backup=$work/pristine
restore() {
    if [[ -n $mutated ]]; then
        cp "$backup" "$src/$mutated"
        mutated=
    fi
}
trap restore EXIT
trap 'restore; exit 130' INT
trap 'restore; exit 143' TERM

build() {
    cmake --build "$bin" --parallel 2 --target "$@" >"$work/build.log" 2>&1
}

# ctest regular expression naming every test of the given programs exactly (a program run through
# a wrapper, such as the test server's, included), and the cases that match the extra regular
# expression (the first argument, possibly empty).
tests_of() {
    ctest --test-dir "$bin" --show-only=json-v1 | "$python" -c '
import json, os, re, sys
cases, programs = sys.argv[1], set(sys.argv[2:])
names = [test["name"] for test in json.load(sys.stdin)["tests"]
         if any(os.path.basename(part) in programs for part in test.get("command", []))
         or (cases and re.search(cases, test["name"]))]
special = re.compile(r"([][.*+?()|^$\\])")
print("^(" + "|".join(special.sub(r"\\\1", name) for name in names) + ")$" if names else "")
' "$@"
}

# The programs' own tests first, as they fail within seconds; then the tool's cases.
run_tests() {
    local cases=$1 regex
    shift
    local ran=false
    : >"$work/test.log"
    for regex in "$(tests_of "" "$@")" "${cases:+$(tests_of "$cases")}"; do
        [[ -n $regex ]] || continue
        ran=true
        ctest --test-dir "$bin" -R "$regex" --parallel 2 \
            --timeout "${MUTANT_TEST_TIMEOUT:-120}" --stop-on-failure >>"$work/test.log" 2>&1 ||
            return 1
    done
    $ran || return 2
}

[[ -r $list ]] || { echo "mutants: cannot read $list" >&2; exit 2; }
mkdir -p "$work"
started=$(date +%s)
echo "== mirror and baseline build in $work"
sync_mirror
# A mirror configured without the tool (as this script once did) is configured afresh.
if [[ -f $bin/CMakeCache.txt ]] && ! grep -q '^QUENDAL_BUILD_TOOLS:BOOL=ON' "$bin/CMakeCache.txt"; then
    rm -rf "$bin"
fi
if [[ ! -f $bin/CMakeCache.txt ]]; then
    # ccache, where there is one, turns the recompilation of each restored file into a lookup.
    launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    cmake -S "$src" -B "$bin" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0 \
        -DQUENDAL_SANITIZE=OFF -DQUENDAL_WARNINGS_AS_ERRORS=OFF -DQUENDAL_BUILD_TOOLS=ON \
        -DQUENDAL_BUILD_EXAMPLES=OFF -DQUENDAL_BUILD_BENCHMARKS=OFF -DQUENDAL_INSTALL=OFF \
        "${launcher[@]}" \
        >"$work/configure.log" 2>&1 ||
        { echo "mutants: configuring failed, see $work/configure.log" >&2; exit 2; }
fi
all_programs=(system_info_scan_tests system_info_document_tests common_tests timer_tests
    tesmora_unit_tests transport_tests tesmora_tests fleet_tests output_tests documents_tests)
# Only the tests the selected mutations need run unmutated first.
baseline_cases=$all_cases
if [[ -n $select ]]; then
    baseline_cases=$(grep -F -- "$select" "$list" | grep -v '^#' | cut -d'|' -f1 | sort -u |
        while read -r path; do cases_for "$path"; done | paste -sd'|')
fi
if ! build "${all_programs[@]}" quendal-sysinfo fuzz_document_roundtrip; then
    echo "mutants: the unmutated tree does not build, see $work/build.log" >&2
    exit 2
fi
if [[ ${MUTANTS_TRUST_BASELINE:-0} != 1 ]] && ! run_tests "$baseline_cases" "${all_programs[@]}"; then
    echo "mutants: the unmutated tests fail, see $work/test.log" >&2
    exit 2
fi

killed=0 equivalent=0 survived=0 stale=0 broken=0 wrong=0 total=0
survivors=()
while IFS= read -r line || [[ -n $line ]]; do
    [[ -z ${line//[[:space:]]/} || $line == \#* ]] && continue
    [[ -n $select && $line != *"$select"* ]] && continue
    # path|sed expression|what it breaks: the path ends at the first bar, the description
    # starts after the last one, so the expression may hold bars of its own.
    path=${line%%|*}
    rest=${line#*|}
    what=${rest##*|}
    expression=${rest%|*}
    if [[ $rest != *"|"* || -z $path || -z $expression ]]; then
        echo "mutants: malformed line: $line" >&2
        exit 2
    fi
    total=$((total + 1))
    began=$(date +%s)
    listed_equivalent=false
    [[ $what == EQUIVALENT:* ]] && listed_equivalent=true

    if [[ ! -f $src/$path ]]; then
        verdict=stale
    else
        cp "$src/$path" "$backup"
        mutated=$path
        if ! sed -e "$expression" "$backup" >"$src/$path"; then
            restore
            echo "mutants: sed rejects the expression: $line" >&2
            exit 2
        fi
        if cmp -s "$backup" "$src/$path"; then
            verdict=stale
        else
            read -r -a programs <<<"$(programs_for "$path")"
            cases=$(cases_for "$path")
            targets=("${programs[@]}")
            [[ -n $cases ]] && targets+=(quendal-sysinfo fuzz_document_roundtrip)
            if ! build "${targets[@]}"; then
                # A program that fails as soon as it runs fails the listing of its tests, which
                # is a build step: that is a fault caught, not a mutation that does not build.
                if grep -q "Error running test executable" "$work/build.log"; then
                    verdict=killed
                else
                    verdict=broken
                fi
            else
                status=0
                run_tests "$cases" "${programs[@]}" || status=$?
                case $status in
                    0) verdict=survived ;;
                    2) verdict=broken ;;  # no test covers the file: a gap in programs_for
                    *) verdict=killed ;;
                esac
            fi
        fi
        restore
    fi

    case $verdict:$listed_equivalent in
        killed:false) killed=$((killed + 1)) label=killed ;;
        killed:true) wrong=$((wrong + 1)) label=NOT-EQUIV ;;
        survived:true) equivalent=$((equivalent + 1)) label=equivalent ;;
        survived:false) survived=$((survived + 1)) label=SURVIVED survivors+=("$line") ;;
        stale:*) stale=$((stale + 1)) label=STALE ;;
        broken:*) broken=$((broken + 1)) label=NO-BUILD ;;
    esac
    printf '%-10s %4ds  %s: %s\n' "$label" "$(($(date +%s) - began))" "$path" \
        "${what#EQUIVALENT: }"
done <"$list"

echo
echo "== $total mutations in $(($(date +%s) - started)) s: $killed killed," \
    "$equivalent equivalent, $survived survived, $stale stale, $broken do not build," \
    "$wrong listed as equivalent but killed"
for line in "${survivors[@]}"; do
    echo "   survived: $line"
done
echo "surviving mutations: $survived"
if ((survived + stale + broken + wrong > 0)); then
    exit 1
fi
