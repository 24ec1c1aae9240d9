#!/usr/bin/env bash
# Redraws the pictures of docs/ from their text sources (needs Debian's graphviz).
set -euo pipefail
cd "$(dirname "$0")/.."
dot -Tsvg docs/document.dot -o docs/document.svg
