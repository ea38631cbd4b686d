#!/usr/bin/env bash
# Configures and builds one flavour of the tree.
# Usage: scripts/build.sh BUILD_DIR [cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
shift
cmake -S . -B "$dir" -DZELMO_WERROR=ON "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
