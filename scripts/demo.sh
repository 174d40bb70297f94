#!/usr/bin/env bash
# Sets up, builds and runs Ravelin's main job: the repair of a damaged
# InterBase database file into a new target database, then shows what landed
# in the target. The target is opened by the embedded Firebird engine: no
# database server has to run.
#
#   ./scripts/demo.sh            repair a damaged synthetic database
#   ./scripts/demo.sh FILE       repair FILE instead
#   ./scripts/demo.sh --sample   repair a real sample database from
#                                ../shared/samples (beside the project folder)
#   ./scripts/demo.sh --gui [FILE | --sample]
#                                open the damaged database in the desktop
#                                window instead (needs a display); the window
#                                scans it at once, and Start Repair copies it
#                                into a blank target chosen in its dialog
#
# Everything is written to build/demo/: DEMO.GDB (the damaged synthetic
# database), RECOVERED.FDB (the target, replaced on every run, with its side
# files RECOVERED.FDBIndices.txt and RECOVERED.FDBViews.txt and its blob folder
# BlobData_RECOVERED.FDB) and Ravelin.log (the repair's log report, UTF-16LE).
#
# Exit status: ravelin-cli's (0 completed, 1 error, 2 invalid file, 3 file in
# use, 4 stopped, 5 incomplete: a table or records were not copied; the
# damaged synthetic database loses one record), or 1 when setting up,
# building or looking into the target fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RAVELIN_BUILD_DIR:-$root/build}
demo="$build/demo"

usage() {
  echo "usage: $0 [--gui] [FILE | --sample]" >&2
  exit 1
}

mode=synthetic
gui=false
file=""
for arg in "$@"; do
  case $arg in
    --sample) mode=sample ;;
    --gui) gui=true ;;
    -h | --help) usage ;;
    -*) echo "demo: unknown option $arg" >&2; usage ;;
    *)
      [ -z "$file" ] || usage
      mode=file
      file=$arg
      ;;
  esac
done
if [ "$mode" = file ] && [ ! -f "$file" ]; then
  echo "demo: no such file: $file" >&2
  exit 1
fi

say() { echo "demo: $*"; }

if $gui && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "demo: --gui needs a display (DISPLAY is not set). Without one, run the headless" >&2
  echo "demo: recovery: ./scripts/demo.sh [FILE | --sample], or the window under a virtual" >&2
  echo "demo: display: xvfb-run -a ./scripts/demo.sh --gui" >&2
  exit 1
fi

say "installing the packages Ravelin needs (scripts/setup.sh)"
"$root/scripts/setup.sh"
targets="ravelin-cli ravelin-demo-database"
if $gui; then
  targets="$targets ravelin"
fi
say "building $targets into $build"
RAVELIN_BUILD_TARGET="$targets" "$root/scripts/build.sh" -DRAVELIN_BUILD_TESTS=ON
cli="$build/src/cli/ravelin-cli"
mkdir -p "$demo"

case $mode in
  synthetic)
    file="$demo/DEMO.GDB"
    echo
    say "writing a small synthetic InterBase database and damaging it on purpose:"
    "$build/tests/cli/ravelin-demo-database" --damaged "$file" | sed 's/^/  /'
    ;;
  sample)
    samples="$(cd "$root/.." && pwd)/shared/samples"
    file=""
    for candidate in ods15/EMPLOYEE.GDB ods16/dbdemos.gdb ods13/MASTSQL.GDB; do
      if [ -f "$samples/$candidate" ]; then
        file="$samples/$candidate"
        break
      fi
    done
    if [ -z "$file" ]; then
      echo "demo: --sample: no sample database found in $samples" >&2
      exit 1
    fi
    echo
    say "repairing the sample database $file (it is only read, never written)"
    ;;
esac

if $gui; then
  echo
  say "opening $file in the desktop window: the scan runs at once; check what to copy in the"
  say "tree and choose Start Repair (the connection dialog's New button creates a blank target)"
  exec "$build/src/ui/ravelin" "$file"
fi

# The target is created afresh: the repair refuses to create it over an
# existing file.
target="$demo/RECOVERED.FDB"
rm -rf "$target" "${target}Indices.txt" "${target}Views.txt" "$demo/BlobData_RECOVERED.FDB"
report="$demo/Ravelin.log"

echo
say "$cli repair $file --target $target --create --log $report"
echo
set +e
"$cli" repair "$file" --target "$target" --create --log "$report"
status=$?
set -e
echo
say "ravelin-cli exited with $status (0 completed, 1 error, 2 invalid file, 3 file in use, 4 stopped, 5 incomplete)"
if [ ! -f "$target" ]; then
  say "no target database was created"
  exit "$status"
fi

# What landed, read back from the target with the platform's isql-fb and the
# embedded engine.
isql() {
  isql-fb -q -user SYSDBA "$target" -i "$1"
}
script=$(mktemp)
trap 'rm -f "$script"' EXIT
cat >"$script" <<'SQL'
SET HEADING OFF;
SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS
 WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 AND RDB$VIEW_BLR IS NULL ORDER BY RDB$RELATION_ID;
SQL
if ! tables=$(isql "$script"); then
  echo "demo: isql-fb could not read the target $target" >&2
  exit 1
fi
read -r -d '' -a names <<<"$tables" || true
if [ ${#names[@]} -eq 0 ]; then
  say "the target $target holds no tables"
  exit "$status"
fi

echo
say "what landed in $target (read back with isql-fb):"
{
  echo "SET HEADING OFF;"
  for name in "${names[@]}"; do
    echo "SELECT CAST('$name' AS VARCHAR(31)), COUNT(*) FROM \"$name\";"
  done
} >"$script"
printf '  %-31s %s\n' TABLE ROWS
isql "$script" | awk 'NF { printf "  %-31s %s\n", $1, $2 }'

shown=${names[0]}
echo
say "the first 5 rows of $shown:"
printf 'SELECT FIRST 5 * FROM "%s";\n' "$shown" >"$script"
isql "$script"

echo
say "the log report (UTF-16LE, CR LF) is $report; the index statements are in ${target}Indices.txt"
exit "$status"
