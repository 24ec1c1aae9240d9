#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the module and the tool, and runs the main job:
# quendal-sysinfo scanning this host.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --parallel "$(nproc)"
build/release/tools/quendal-sysinfo local
