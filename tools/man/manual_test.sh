#!/usr/bin/env bash
# Checks the manual pages of quendal-sysinfo as a user and Debian's tools meet them: man renders
# each without a warning, mandoc finds no error in it, and the page of the tool names every
# subcommand and every option that the tool's --help and each subcommand's --help list, so that
# an option added to the tool cannot be left out of its manual.
#
#   manual_test.sh MAN_DIR TOOL      MAN_DIR holding quendal-sysinfo.1 and quendal-sysinfo-fleet.5
set -uo pipefail
man_dir=$1
tool=$2

failures=0
checks=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

for page in "$man_dir/quendal-sysinfo.1" "$man_dir/quendal-sysinfo-fleet.5"; do
    checks=$((checks + 3))
    # As lintian renders pages: every warning groff has, to the standard error stream.
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man -l $page warns: $warnings"
    text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null)
    grep -q '^NAME' <<<"$text" && grep -q '^SEE ALSO' <<<"$text" ||
        fail "man -l $page renders no NAME or SEE ALSO section"
    lint=$(mandoc -T lint -W error "$page" 2>&1) || fail "mandoc -T lint $page: $lint"
done

# The page's text with roff's escapes undone: \- is a dash, \fB...\fR change fonts.
source_text=$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\(em/-/g' -e 's/\\&//g' \
    "$man_dir/quendal-sysinfo.1")
# Each command and its subcommands, as their --help lists them in its Subcommands section.
subcommands_of() {
    "$tool" "$@" --help | sed -n '/^Subcommands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p'
}
commands=("")
for subcommand in $(subcommands_of); do
    commands+=("$subcommand")
    for nested in $(subcommands_of "$subcommand"); do
        commands+=("$subcommand $nested")
    done
done
[ ${#commands[@]} -gt 5 ] || fail "only ${#commands[@]} commands read from '$tool --help'"
for command in "${commands[@]}"; do
    checks=$((checks + 1))
    if [ -n "$command" ] && ! grep -qE -- "(^|[^a-z-])${command}([^a-z-]|$)" <<<"$source_text"; then
        fail "the manual does not name the subcommand '$command'"
    fi
    # The option lines of a help text: "  -v,--verbose ...", "  --host TEXT ...".
    options=$("$tool" $command --help | sed -n 's/^  \(-[^ ]*\).*/\1/p' | tr ',' '\n' | sed '/^$/d')
    [ -n "$options" ] || fail "no options read from '$tool $command --help'"
    for option in $options; do
        checks=$((checks + 1))
        grep -qE -- "(^|[^a-z-])${option}([^a-z-]|$)" <<<"$source_text" ||
            fail "'${command:-quendal-sysinfo}' has $option, which the manual does not name"
    done
done

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
