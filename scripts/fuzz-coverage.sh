#!/usr/bin/env bash
# Shows which lines of the readers a fuzz target's corpus reaches.
#
#   scripts/fuzz-coverage.sh [TARGET] [FILE...]
#
# TARGET: open, catalogue, record or extract (default extract). Builds the
# target's replay program with clang's source-based coverage into
# build-fuzz-cov/, replays the corpus scripts/fuzz.sh keeps in
# fuzz-work/corpus/TARGET (and the seed corpus), and writes the summary of
# every engine file to fuzz-work/coverage-TARGET.txt. FILEs (e.g.
# src/extract/valuedecoder.cpp) are also shown line by line in
# fuzz-work/coverage-TARGET-<name>.txt.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=${1:-extract}
shift || true
case "$target" in
  open|catalogue|record|extract) ;;
  *) echo "fuzz-coverage: no target named $target (one of: open, catalogue, record, extract)" >&2; exit 2 ;;
esac
"$root/scripts/setup.sh"
if ! command -v clang++ >/dev/null 2>&1 || ! command -v llvm-profdata >/dev/null 2>&1; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "fuzz-coverage: clang and llvm are missing and installing them needs root" >&2
    exit 1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends clang llvm
fi

build="$root/build-fuzz-cov"
work="$root/fuzz-work"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DRAVELIN_COVERAGE=ON -DRAVELIN_BUILD_UI=OFF -DRAVELIN_BUILD_BENCH=OFF -DRAVELIN_BUILD_TESTS=ON >/dev/null
cmake --build "$build" --target "fuzz_${target}_replay" fuzz_seed_corpus

seeds="$build/fuzz/seeds-coverage"
rm -rf "$seeds"
LLVM_PROFILE_FILE=/dev/null "$build/fuzz/fuzz_seed_corpus" "$seeds" "$root/../shared/samples" >/dev/null
mkdir -p "$work/corpus/$target"
profiles="$build/profiles-$target"
rm -rf "$profiles"
mkdir -p "$profiles"
LLVM_PROFILE_FILE="$profiles/%p.profraw" "$build/fuzz/fuzz_${target}_replay" "$seeds/$target" "$work/corpus/$target"
llvm-profdata merge -sparse "$profiles"/*.profraw -o "$profiles/merged.profdata"
program="$build/fuzz/fuzz_${target}_replay"
llvm-cov report "$program" -instr-profile="$profiles/merged.profdata" "$root/src" >"$work/coverage-$target.txt"
echo "fuzz-coverage: summary in $work/coverage-$target.txt"
for file in "$@"; do
  name=$(basename "$file" .cpp)
  llvm-cov show "$program" -instr-profile="$profiles/merged.profdata" "$root/$file" >"$work/coverage-$target-$name.txt"
  grep -E "$(basename "$file")" "$work/coverage-$target.txt" || true
  echo "fuzz-coverage: lines of $file in $work/coverage-$target-$name.txt"
done
