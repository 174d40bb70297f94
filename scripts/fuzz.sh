#!/usr/bin/env bash
# Fuzzes the readers with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer.
#
#   scripts/fuzz.sh [TARGET] [SECONDS]
#
# TARGET: open, catalogue, record, extract, or all (the default: each in
# turn for SECONDS). SECONDS: how long each target runs (default 600).
# FUZZ_JOBS=N runs N fuzzing processes per target side by side;
# FUZZ_RUNS=N ends a target after N executions (or SECONDS, whichever
# comes first). FUZZ_BACKGROUND=1 gives way to every other process.
#
# Installs clang when it is missing (as setup.sh installs the rest), builds
# the targets into build-fuzz/, writes the seed corpus (the fixture writer's
# files, and slices of ../shared/samples when it is there), and fuzzes into
# a corpus kept under fuzz-work/corpus/<target>, so that every run goes on
# from what the ones before found. Inputs that make a target fail are left
# in fuzz-work/findings/<target>/; copy each into fuzz/cases/<target>/ once
# it is fixed, and the replay test keeps it fixed. Every run appends its
# figures (executions, speed, coverage, findings) to fuzz-work/campaign.tsv.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=${1:-all}
seconds=${2:-600}
jobs=${FUZZ_JOBS:-1}
runs=${FUZZ_RUNS:-}
all=(open catalogue record extract)

if [ "$target" = all ]; then
  targets=("${all[@]}")
elif printf '%s\n' "${all[@]}" | grep -qx "$target"; then
  targets=("$target")
else
  echo "fuzz: no target named $target (one of: ${all[*]}, all)" >&2
  exit 2
fi
case "$seconds" in
  ''|*[!0-9]*) echo "fuzz: SECONDS must be a whole number, not $seconds" >&2; exit 2 ;;
esac

"$root/scripts/setup.sh"
if ! command -v clang++ >/dev/null 2>&1; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "fuzz: clang is missing and installing it needs root" >&2
    exit 1
  fi
  echo "fuzz: installing clang"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends clang
fi

build="$root/build-fuzz"
work="$root/fuzz-work"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DRAVELIN_BUILD_FUZZ=ON -DRAVELIN_BUILD_UI=OFF \
  -DRAVELIN_BUILD_BENCH=OFF -DRAVELIN_BUILD_TESTS=ON >/dev/null
cmake --build "$build" --target fuzz_seed_corpus "${targets[@]/#/fuzz_}"

seeds="$build/fuzz/seeds-run"
rm -rf "$seeds"
"$build/fuzz/fuzz_seed_corpus" "$seeds" "$root/../shared/samples"

mkdir -p "$work"
campaign="$work/campaign.tsv"
[ -f "$campaign" ] || printf 'date\ttarget\tseconds\texecutions\texec_per_second\tcoverage\tfeatures\tcorpus\tfindings\n' >"$campaign"

# FUZZ_BACKGROUND=1 lets every other process of the machine (builds, test
# runs) go first: the kernel groups a session's processes and shares the
# processors between groups, so a plain nice value does not reach across
# them; the group's own weight does.
if [ -n "${FUZZ_BACKGROUND:-}" ] && [ -w /proc/self/autogroup ]; then
  echo 19 >/proc/self/autogroup || true
fi

status=0
for t in "${targets[@]}"; do
  corpus="$work/corpus/$t"
  findings="$work/findings/$t"
  log="$work/$t.log"
  mkdir -p "$corpus" "$findings"
  echo "fuzz: $t for ${seconds}s (log $log)"
  # A stored record lies within one page (16 KiB at most); files are fuzzed
  # in inputs of up to 64 KiB.
  maxlen=65536
  [ "$t" = record ] && maxlen=16384
  # Timeouts and slow-unit reports are wall-clock times: a run that shares
  # the machine with builds (or runs niced) sees units take many times
  # their own time, so both limits stay well above any unit's real time.
  args=(-max_len="$maxlen" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$findings/"
        -timeout=120 -report_slow_units=60 -rss_limit_mb=2048)
  if [ -n "$runs" ]; then
    args+=(-runs="$runs")
  fi
  if [ "$jobs" -gt 1 ]; then
    args+=(-fork="$jobs" -ignore_crashes=1)
  fi
  set +e
  "$build/fuzz/fuzz_$t" "${args[@]}" "$corpus" "$seeds/$t" >"$log" 2>&1
  result=$?
  set -e
  executions=$(grep 'stat::number_of_executed_units:' "$log" | awk '{s+=$2} END {print s+0}')
  speed=$(grep 'stat::average_exec_per_sec:' "$log" | awk '{s+=$2} END {print s+0}')
  coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | awk '{print $2+0}')
  features=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | awk '{print $2+0}')
  found=$(find "$findings" -type f | wc -l)
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%FT%TZ)" "$t" "$seconds" "$executions" "$speed" \
    "${coverage:-0}" "${features:-0}" "$(find "$corpus" -type f | wc -l)" "$found" >>"$campaign"
  echo "fuzz: $t: $executions executions, $speed per second, coverage ${coverage:-0}, $found findings"
  if [ "$result" -ne 0 ] || [ "$found" -ne 0 ]; then
    echo "fuzz: $t failed; the inputs are in $findings, the report in $log" >&2
    status=1
  fi
done
exit $status
