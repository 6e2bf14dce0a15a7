#!/bin/bash
# Compares the in-memory road (tavrin) with the streamed road (tavrin-stream)
# on one mesh: wall time, triangles per second and peak resident memory of
# each whole process, and their ratios, with the time `cat` takes to read the
# file as a baseline. Generate a big mesh first, e.g.
#   BUILD/make_big_mesh tests/data/dragon_small.ply 4 /tmp/dragon4.ply
# (bench/compare builds make_big_mesh); meshes belong in /tmp, not the repo.
#
#   bench/stream_bench.sh MESH.ply [GRID [TYPE [RUNS]]]
# BUILD (default build) is the build directory; OMP_NUM_THREADS is passed on.
# Each road runs RUNS times (default 3); the median wall time is reported.
set -euo pipefail
mesh=${1:?usage: stream_bench.sh MESH.ply [GRID [TYPE [RUNS]]]}
grid=${2:-256}
type=${3:-HASH_UC}
runs=${4:-3}
build=${BUILD:-build}
work=$(mktemp -d /tmp/stream_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
ln -s "$(realpath "$mesh")" "$work/mesh.ply"

# Median wall seconds and the largest peak RSS (KB) of RUNS runs; the
# triangle count from the program's own report.
measure() {
  local walls=() rss=0 out
  for ((i = 0; i < runs; ++i)); do
    out=$( { /usr/bin/time -f "TIME %e %M" "$@" > "$work/out.txt"; } 2>&1 | grep '^TIME')
    walls+=("$(echo "$out" | awk '{print $2}')")
    rss=$(echo "$out $rss" | awk '{print ($3 > $4 ? $3 : $4)}')
    rm -f "$work"/mesh_simp_*
  done
  local wall
  wall=$(printf '%s\n' "${walls[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  local tris
  tris=$(grep -o 'num triangles = [0-9.,]*' "$work/out.txt" | tr -d '.,' | awk '{print $4}')
  echo "$wall $rss $tris"
}

cat_start=$(date +%s.%N)
cat "$mesh" > /dev/null
cat_wall=$(echo "$(date +%s.%N) $cat_start" | awk '{printf "%.2f", $1 - $2}')

read -r mem_wall mem_rss tris < <(measure "$build/tavrin" "$work/mesh.ply" "$type" "$grid")
read -r str_wall str_rss _ < <(TAVRIN_STREAM_BUDGET=${TAVRIN_STREAM_BUDGET:-} \
  measure "$build/tavrin-stream" "$work/mesh.ply" "$type" "$grid")

echo "mesh $mesh: $tris triangles, $type grid $grid, threads ${OMP_NUM_THREADS:-default}, median of $runs"
echo "baseline: cat of the file $cat_wall s"
for road in "in-memory $mem_wall $mem_rss" "streamed $str_wall $str_rss"; do
  set -- $road
  awk -v r="$1" -v w="$2" -v k="$3" -v t="$tris" 'BEGIN {
    printf "%-9s: %6.2f s, %6.2f Mtri/s, peak RSS %7.1f MB (%.1f B/triangle)\n",
           r, w, t / w / 1e6, k / 1024, k * 1024 / t }'
done
awk -v a="$mem_wall" -v b="$str_wall" -v c="$mem_rss" -v d="$str_rss" 'BEGIN {
  printf "streamed / in-memory: time %.2fx, throughput %.2fx, peak RSS %.2fx\n", b / a, a / b, d / c }'
