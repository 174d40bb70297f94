#!/usr/bin/env bash
# Sets up, builds and runs every test: the engine and command-line tests, the
# desktop tests under a virtual display, and the reader tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

jobs=$(nproc)

# Main build: every test, GUI tests included (they run under xvfb-run).
"$root/scripts/build.sh" -DRAVELIN_GUI_TESTS=ON
cd "$root/build"
xvfb-run -a -s "-screen 0 1600x1000x24" ctest --output-on-failure -j "$jobs"

# Reader and decoder tests under the sanitizers (no UI needed there).
RAVELIN_BUILD_DIR="$root/build-asan" "$root/scripts/build.sh" -DRAVELIN_SANITIZE=ON -DRAVELIN_BUILD_UI=OFF
cd "$root/build-asan"
ctest --output-on-failure -j "$jobs" -L sanitize
