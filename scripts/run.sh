#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the module and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --parallel
build/release/examples/local_scan
