#!/usr/bin/env bash
# Configures and builds Ravelin into build/ (or $RAVELIN_BUILD_DIR).
# Extra arguments go to the configure step (-DOPTION=VALUE). Set
# RAVELIN_BUILD_TARGET to build only those targets (e.g. ravelin-cli, or
# several separated by blanks).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RAVELIN_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
if [ -n "${RAVELIN_BUILD_TARGET:-}" ]; then
  read -r -a targets <<<"$RAVELIN_BUILD_TARGET"
  cmake --build "$build" --target "${targets[@]}"
else
  cmake --build "$build"
fi
