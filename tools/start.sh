#!/usr/bin/env bash
# Builds Orvik in Release and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
if [ -x build/release/app/orvik ]; then
  exec build/release/app/orvik "$@"
fi
echo "Everything is built; the Orvik application itself does not exist yet, so there is nothing to start."
