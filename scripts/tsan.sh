#!/usr/bin/env bash
# Data-race check of the parallel code: builds the tests with clang and
# ThreadSanitizer against clang's OpenMP runtime (whose Archer tool tells
# ThreadSanitizer about OpenMP's barriers, reductions and locks; the GNU
# runtime is not annotated and gives false reports), then runs the table,
# handler, octree and mesh-operation suites with 2 and 4 threads.
# Exits non-zero on any race report or test failure.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages cmake make clang-14 libclang-rt-14-dev libomp-14-dev libgtest-dev

dir=build-tsan
CC=clang-14 CXX=clang++-14 cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAVRIN_TSAN=ON -DTAVRIN_BENCH=OFF -DTAVRIN_VIEWER=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)" --target tavrin_tests >/dev/null

# The binary must use clang's runtime, never libgomp.
if ! ldd "$dir/tavrin_tests" | grep -q 'libomp'; then
  echo "tsan: tavrin_tests is not linked against libomp" >&2
  ldd "$dir/tavrin_tests" >&2
  exit 1
fi
archer=$(clang-14 -print-file-name=libarcher.so)
[ -f "$archer" ] || archer=/usr/lib/llvm-14/lib/libarcher.so
if [ ! -f "$archer" ]; then
  echo "tsan: libarcher.so (OpenMP annotations for ThreadSanitizer) not found" >&2
  exit 1
fi
export OMP_TOOL_LIBRARIES=$archer
export ARCHER_OPTIONS=verbose=1
# Debian's libomp is not instrumented: calls it makes into the pthread
# interceptors (its own mutexes) are not ours to check, nor are the mutexes of
# its annotation tool, which ThreadSanitizer misreads as locked twice. Races in our code are
# still reported, whatever frames of the runtime are below them.
printf 'called_from_lib:libomp.so.5\nmutex:libarcher.so\n' >"$dir/tsan.supp"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 history_size=4 suppressions=$PWD/$dir/tsan.supp"

# Suites that run the parallel code in this process (the program-level
# suites start other processes and are left out).
filter='HashUC*:HandlerFactory*:Tables*:OctreeSimplify*:OctreeTable*:Mesh*:TwoThreadSort*'
filter+=':SimplifyDriver*:SimplifyScalar.*:TsanStress*'
for threads in 2 4; do
  echo "== ThreadSanitizer, OMP_NUM_THREADS=$threads"
  log=$dir/tsan-$threads.log
  if ! OMP_NUM_THREADS=$threads nice -n 10 "$dir/tavrin_tests" --gtest_filter="$filter" \
      --gtest_brief=1 >"$log" 2>&1; then
    grep -m1 -A40 "WARNING: ThreadSanitizer" "$log" || tail -40 "$log"
    echo "tsan: failed with $threads threads (full log: $log)"
    exit 1
  fi
  if ! grep -q "Archer detected OpenMP application with TSan" "$log"; then
    echo "tsan: the OpenMP annotations were not loaded" >&2
    exit 1
  fi
  tail -3 "$log"
done
