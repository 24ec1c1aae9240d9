#!/usr/bin/env bash
# Checks the bash completion of quendal-sysinfo: completions of typed command lines, and that
# every subcommand offers exactly the options the tool's own --help lists.
#
#   completion_test.sh COMPLETION_FILE TOOL
set -uo pipefail
completion=$1
tool=$2
source "$completion"

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The completions of a command line whose last word is being typed, sorted, one per line.
complete_line() {
    read -r -a COMP_WORDS <<<"$1"
    [[ $1 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _quendal_sysinfo
    printf '%s\n' "${COMPREPLY[@]}" | sort
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
touch "$scratch/inventory.json" "$scratch/before.xml" "$scratch/other.txt"
mkdir "$scratch/runs"
export QUENDAL_PASSWORD=unused

# Command line | expected completions, separated by spaces.
cases=(
    "quendal-sysinfo |cmm diff esxi fleet local pin server smm switch"
    "quendal-sysinfo s|server smm switch"
    "quendal-sysinfo --pin |"
    "quendal-sysinfo pin --|--help --host --port"
    "quendal-sysinfo --f|--format"
    "quendal-sysinfo --format x|xml"
    "quendal-sysinfo --log-level |0 1 2 3 4"
    "quendal-sysinfo --inventory $scratch/i|$scratch/inventory.json"
    "quendal-sysinfo --format json |cmm diff esxi fleet local pin server smm switch"
    "quendal-sysinfo --insecure --p|--partial --password-env --password-file --pin"
    "quendal-sysinfo --insecure cmm --p|--port"
    "quendal-sysinfo switch --b|--bay"
    "quendal-sysinfo --password-file $scratch/o|$scratch/other.txt"
    "quendal-sysinfo --password-env QUENDAL_PASS|QUENDAL_PASSWORD"
    "quendal-sysinfo server --host |"
    "quendal-sysinfo local --|--help --loaded-only"
    "quendal-sysinfo diff $scratch/b|$scratch/before.xml"
    "quendal-sysinfo diff a.xml $scratch/|$scratch/before.xml $scratch/inventory.json $scratch/other.txt $scratch/runs"
    "quendal-sysinfo fleet $scratch/o|$scratch/other.txt"
    "quendal-sysinfo fleet sh|shard"
    "quendal-sysinfo fleet f.csv --output-dir $scratch/r|$scratch/runs"
    "quendal-sysinfo fleet --r|--resume"
    "quendal-sysinfo fleet diff $scratch/|$scratch/runs"
    "quendal-sysinfo fleet diff --|--help"
    "quendal-sysinfo fleet merge a b --|--help --output-dir"
    "quendal-sysinfo fleet shard f.csv --|--help --index --shards"
    "quendal-sysinfo fleet shard --shards |"
    "quendal-sysinfo fleet pi|pin"
    "quendal-sysinfo fleet pin $scratch/o|$scratch/other.txt"
    "quendal-sysinfo fleet pin f.csv --r|--replace"
)
for case in "${cases[@]}"; do
    line=${case%%|*}
    expected=$(tr ' ' '\n' <<<"${case#*|}" | sed '/^$/d' | sort)
    actual=$(complete_line "$line" | sed '/^$/d')
    [ "$actual" == "$expected" ] || fail "'$line' completes to [$(echo $actual)], expected [$(echo $expected)]"
done

# The long options of a help text: the first column of its option lines.
help_options() {
    "$tool" "$@" --help | sed -n 's/^  \(-[^ ]*\).*/\1/p' | tr ',' '\n' | grep -- '^--' | sort
}
for subcommand in "" local server esxi cmm switch smm diff fleet pin "fleet diff" "fleet shard" \
    "fleet pin"; do
    actual=$(complete_line "quendal-sysinfo $subcommand --" | sed '/^$/d')
    expected=$(help_options $subcommand)
    [ -n "$expected" ] || fail "no options read from '$tool $subcommand --help'"
    [ "$actual" == "$expected" ] ||
        fail "'${subcommand:-quendal-sysinfo}' offers [$(echo $actual)], its --help lists [$(echo $expected)]"
done

# And the values of --format, as its help lists them: --format TEXT:{a,b,...}.
actual=$(complete_line "quendal-sysinfo --format " | sed '/^$/d')
expected=$("$tool" --help | sed -n 's/^  --format [^{]*{\([^}]*\)}.*/\1/p' | tr ',' '\n' | sort)
[ -n "$expected" ] && [ "$actual" == "$expected" ] ||
    fail "--format completes to [$(echo $actual)], its --help lists [$(echo $expected)]"

total=$((${#cases[@]} + 14))
echo "$((total - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
