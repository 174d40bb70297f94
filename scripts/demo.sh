#!/usr/bin/env bash
# Sets up, builds and runs Ravelin's main job: a scan of an InterBase database
# file with ravelin-cli, its log printed and saved as a report.
#
#   ./scripts/demo.sh [DATABASE-FILE]
#
# Without a file it scans a real sample database from ../shared/samples (beside
# the project folder). Without samples it scans a small synthetic database
# (three tables, no data) written by the test fixture, and says so.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RAVELIN_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
RAVELIN_BUILD_TARGET=ravelin-cli "$root/scripts/build.sh"
cli="$build/src/cli/ravelin-cli"

demo="$build/demo"
mkdir -p "$demo"

if [ $# -ge 1 ]; then
  file=$1
else
  samples="$(cd "$root/.." && pwd)/shared/samples"
  file=""
  for candidate in ods15/EMPLOYEE.GDB ods16/dbdemos.gdb ods13/MASTSQL.GDB; do
    if [ -f "$samples/$candidate" ]; then
      file="$samples/$candidate"
      break
    fi
  done
  if [ -z "$file" ] && [ -d "$samples" ]; then
    file=$(find "$samples" -path '*/ods*' -type f | sort | head -n 1)
  fi
  if [ -z "$file" ]; then
    RAVELIN_BUILD_TARGET=ravelin-demo-database "$root/scripts/build.sh" -DRAVELIN_BUILD_TESTS=ON
    file="$demo/DEMO.GDB"
    "$build/tests/cli/ravelin-demo-database" "$file"
    echo "demo: no sample databases found in $samples;"
    echo "demo: scanning a small synthetic database instead (three tables, no records)."
  fi
fi

report="$demo/Ravelin.log"
echo "demo: $cli scan $file --log $report"
echo
set +e
"$cli" scan "$file" --log "$report"
status=$?
set -e
echo
echo "demo: ravelin-cli exited with $status (0 completed, 1 error, 2 invalid file, 3 file in use, 4 stopped)"
echo "demo: the log report (UTF-16LE, CR LF) is $report"
exit $status
