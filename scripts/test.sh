#!/usr/bin/env bash
# Builds and runs every test twice: on Linux with AddressSanitizer, UndefinedBehaviorSanitizer
# and warnings as errors, and as the Windows x64 DLL under Wine. Then checks that both suites
# hold the same tests, apart from those that are platform-specific by nature.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

echo "== Linux (sanitizers)"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize --parallel "$(nproc)"
ctest --preset sanitize

echo "== Windows x64 (under Wine)"
cmake --preset windows >/dev/null
cmake --build --preset windows --parallel "$(nproc)"
ctest --preset windows

echo "== Both suites"
scripts/compare-suites.sh build/sanitize build/windows
