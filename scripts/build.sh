#!/usr/bin/env bash
# Configures and builds Ravelin into build/ (or $RAVELIN_BUILD_DIR).
# Extra arguments go to the configure step (-DOPTION=VALUE). Set
# RAVELIN_BUILD_TARGET to build one target only (e.g. ravelin-cli).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RAVELIN_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
if [ -n "${RAVELIN_BUILD_TARGET:-}" ]; then
  cmake --build "$build" --target "$RAVELIN_BUILD_TARGET"
else
  cmake --build "$build"
fi
