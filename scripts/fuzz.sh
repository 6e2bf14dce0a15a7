#!/usr/bin/env bash
# Fuzzes for a bounded time: scripts/fuzz.sh [SECONDS] (default 180), split
# between two libFuzzer targets built with clang: ply_load_fuzz (the
# PLY load path) and stream_road_fuzz (the in-memory and the streamed road of
# a batch run on the same input, which must agree on taking the file, on the
# messages and on the bytes written). Each replays every saved regression
# input first, then fuzzes in one low-priority process seeded with
# tests/fuzz/corpus and tests/data. Exits non-zero on any finding; the input
# is left in build-fuzz/fuzz-artifacts/ and belongs in tests/fuzz/regressions/.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages cmake make clang-14 libclang-rt-14-dev libomp-14-dev

# scripts/fuzz.sh SECONDS fuzzes for that long; scripts/fuzz.sh --runs N runs
# exactly N inputs from a fixed seed, the same inputs on every machine. The
# time is split evenly; the runs are split nine to one, since an input of
# the two-road target costs about ten of the load target's.
if [ "${1:-}" = "--runs" ]; then
  runs="${2:-200000}"
  roads_runs=$(((runs + 9) / 10))
  budget_ply_load_fuzz=(-runs="$((runs - roads_runs))" -seed=1)
  budget_stream_road_fuzz=(-runs="$roads_runs" -seed=1)
  label_ply_load_fuzz="$((runs - roads_runs)) inputs from a fixed seed"
  label_stream_road_fuzz="$roads_runs inputs from a fixed seed"
else
  seconds="${1:-180}"
  budget_ply_load_fuzz=(-max_total_time="$(((seconds + 1) / 2))")
  budget_stream_road_fuzz=("${budget_ply_load_fuzz[@]}")
  label_ply_load_fuzz="$(((seconds + 1) / 2)) s"
  label_stream_road_fuzz="$label_ply_load_fuzz"
fi
dir=build-fuzz
CC=clang-14 CXX=clang++-14 cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAVRIN_FUZZ=ON -DTAVRIN_TESTS=OFF -DTAVRIN_BENCH=OFF -DTAVRIN_VIEWER=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)" --target ply_load_fuzz stream_road_fuzz >/dev/null

artifacts=$dir/fuzz-artifacts
mkdir -p "$artifacts"
# Bodies are small: the parallel paths of the reader only start on large
# arrays, so one thread keeps the process to one core.
export OMP_NUM_THREADS=1
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Each input may take at most 10 s and the process at most 2 GiB; a single
# allocation beyond that is reported as a finding too.
limits=(-max_len=65536 -rss_limit_mb=2048 -malloc_limit_mb=2048 -timeout=10)
shopt -s nullglob
regressions=(tests/fuzz/regressions/*)

for target in ply_load_fuzz stream_road_fuzz; do
  fuzzer=$dir/$target
  corpus=$dir/fuzz-corpus-$target
  mkdir -p "$corpus"
  echo "== fuzz $target: replaying saved regression inputs"
  if [ ${#regressions[@]} -gt 0 ]; then
    nice -n 19 "$fuzzer" "${limits[@]}" "${regressions[@]}" >"$artifacts/replay-$target.log" 2>&1 || {
      tail -50 "$artifacts/replay-$target.log"
      exit 1
    }
  fi
  budget_var="budget_${target}[@]"
  label_var="label_${target}"
  echo "== fuzz $target: ${!label_var}"
  status=0
  nice -n 19 "$fuzzer" "${limits[@]}" "${!budget_var}" -print_final_stats=1 \
    -dict=tests/fuzz/ply.dict -artifact_prefix="$artifacts/$target-" \
    "$corpus" tests/fuzz/corpus tests/data >"$artifacts/fuzz-$target.log" 2>&1 || status=$?
  grep -E "^#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb" \
    "$artifacts/fuzz-$target.log" || true
  if [ $status -ne 0 ]; then
    tail -80 "$artifacts/fuzz-$target.log"
    echo "fuzz: finding saved in $artifacts/ (add it to tests/fuzz/regressions/)"
    exit 1
  fi
done
echo "fuzz: no findings"
