#!/usr/bin/env bash
# Compares the test lists of two configured build trees (the Linux and the Windows suite) and
# fails when one holds a test the other lacks, unless the test is platform-specific by nature:
# its name says so (LinuxHost*, WindowsHost*), or it checks what only the Linux build has
# (LinuxPackage*: the Debian package, the bash completion; LinuxReadme*: the README's commands;
# LinuxBench*: the benchmarks, for which no Windows build of Google Benchmark exists).
set -euo pipefail
linux_build=$1
windows_build=$2

list() {
    ctest --test-dir "$1" -N | sed -n 's/^ *Test *#[0-9]*: //p' | sort
}
linux=$(list "$linux_build")
windows=$(list "$windows_build")
specific='(^|[/.])(LinuxHost|LinuxPackage|LinuxReadme|LinuxBench|WindowsHost)'

only_linux=$(comm -23 <(echo "$linux") <(echo "$windows") | grep -Ev "$specific" || true)
only_windows=$(comm -13 <(echo "$linux") <(echo "$windows") | grep -Ev "$specific" || true)
echo "Linux suite: $(echo "$linux" | wc -l) tests ($(echo "$linux" | grep -cE "$specific") Linux-specific)"
echo "Windows suite: $(echo "$windows" | wc -l) tests ($(echo "$windows" | grep -cE "$specific") Windows-specific)"
if [ -n "$only_linux$only_windows" ]; then
    [ -n "$only_linux" ] && printf 'Only in the Linux suite:\n%s\n' "$only_linux"
    [ -n "$only_windows" ] && printf 'Only in the Windows suite:\n%s\n' "$only_windows"
    exit 1
fi
