#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the module and the tool, and runs the main job:
# quendal-sysinfo scanning this host. Only what building and running need is installed; the
# tests, the Windows build and the benchmarks are scripts/test.sh's (scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset release -DQUENDAL_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build --preset release --parallel "$(nproc)"
build/release/tools/quendal-sysinfo local
