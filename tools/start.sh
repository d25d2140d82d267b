#!/usr/bin/env bash
# Builds Orvik in Release and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
exec build/release/app/orvik "$@"
