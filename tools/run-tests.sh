#!/usr/bin/env bash
# Builds Orvik and runs every test: the whole suite in Release, the core tests
# under ASan+UBSan and the threaded tests under TSan.
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1 CCACHE_MAXSIZE=5G
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/orvik-xdg.XXXXXX)}"
chmod 700 "$XDG_RUNTIME_DIR"
jobs=$(nproc)

for preset in release asan tsan; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

status=0
for preset in asan tsan release; do
  echo "=== $preset: tests"
  ctest --preset "$preset" --no-tests=error || status=1
done
exit $status
