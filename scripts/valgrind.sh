#!/usr/bin/env bash
# Memcheck over the programs: one batch run of each simplification type and
# one octree run on a small mesh, from a plain (non-sanitized) build with
# debug information. Exits non-zero on any memory error or leak.
# scripts/valgrind.sh [BUILD_DIR]: an existing plain build may be reused
# (CI passes its release build) instead of making build-valgrind.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages cmake g++ make valgrind

dir=${1:-build-valgrind}
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRIN_TESTS=OFF -DTAVRIN_BENCH=OFF >/dev/null
fi
if grep -qE "TAVRIN_(SANITIZE|TSAN|FUZZ):BOOL=ON" "$dir/CMakeCache.txt"; then
  echo "valgrind: $dir is a sanitizer build" >&2
  exit 1
fi
cmake --build "$dir" -j"$(nproc)" --target tavrin tavrin-octree >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp tests/data/teapot.ply "$work/teapot.ply"
# The OpenMP runtime keeps its thread pool to the end of the process, so two
# threads and no pool leaks to report; memcheck runs threads one at a time.
export OMP_NUM_THREADS=2
memcheck=(valgrind --tool=memcheck --error-exitcode=1 --leak-check=full
  --errors-for-leak-kinds=definite,indirect --track-origins=yes --quiet)

types=(HASH_UC HASH_UC_ACC HASH_UC_NORMAL HASH_UC_ADAPT_NORMAL HASH_UC_TEMP HASH_UC_TEMP_NORMAL
  HASH_UC_SCALAR HASH_UC_SCALAR3_NORMAL HASH_UC_SCALAR3_VECTOR HASH_UC_SINGLE HASH_UC_COHERENT)
failed=0
run() {
  local label=$1
  shift
  if "${memcheck[@]}" --log-file="$work/vg.log" "$@" >"$work/out.log" 2>&1; then
    echo "valgrind: $label clean"
  else
    echo "valgrind: $label FAILED (status $?)"
    cat "$work/vg.log"
    tail -5 "$work/out.log"
    failed=1
  fi
}
for t in "${types[@]}"; do
  run "$t" "$dir/tavrin" "$work/teapot.ply" "$t" 32
done
run "tavrin-octree" "$dir/tavrin-octree" "$work/teapot.ply" 0.02 "$work/octree.msh"
run "tavrin-octree (ply)" "$dir/tavrin-octree" "$work/teapot.ply" 0.02 "$work/octree.ply"
exit $failed
