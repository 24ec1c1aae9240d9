#!/usr/bin/env bash
# Builds with AddressSanitizer, UndefinedBehaviorSanitizer and warnings as errors, and runs
# every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize --parallel
ctest --preset sanitize
