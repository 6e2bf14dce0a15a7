#!/bin/bash
# Side-by-side comparison of the batch simplifier with the peers installed on
# this machine, on one mesh at several grid sizes:
#   bench/compare/run.sh MESH.ply [grids...]        (default 64 128 256 512 1024)
# Environment: BUILD (build directory with tavrin, surface_distance and
# meshopt_harness; default build-compare beside this repo's sources), OUT
# (working directory; default /tmp/tavrin_compare_<mesh>), SAMPLES (points
# per surface for the distance, default 200000), THREADS (default 2),
# TYPES (our simplification types, default "HASH_UC HASH_UC_ACC").
# Prints one table; the rows are also kept in $OUT/table.tsv.
set -u
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
[ $# -ge 1 ] || { echo "usage: $0 MESH.ply [grids...]" >&2; exit 2; }
mesh="$(realpath "$1")"; shift
grids=("$@"); [ ${#grids[@]} -gt 0 ] || grids=(64 128 256 512 1024)
BUILD="${BUILD:-$repo/build-compare}"
base="$(basename "$mesh" .ply)"
OUT="${OUT:-/tmp/tavrin_compare_$base}"
SAMPLES="${SAMPLES:-200000}"
THREADS="${THREADS:-2}"
TYPES="${TYPES:-HASH_UC HASH_UC_ACC}"
PY=/usr/bin/python3
export OMP_NUM_THREADS="$THREADS" LC_ALL=C
mkdir -p "$OUT"
ln -sf "$mesh" "$OUT/$base.ply"
cd "$OUT" || exit 1
tsv="$OUT/table.tsv"; notes=()

for exe in tavrin surface_distance; do
  [ -x "$BUILD/$exe" ] || { echo "missing $BUILD/$exe: build first (cmake --build $BUILD)" >&2; exit 1; }
done
in_tris=$(head -c 4096 "$mesh" | grep -a -m1 '^element face' | awk '{print $3}')
have_meshopt=1; [ -x "$BUILD/meshopt_harness" ] || { have_meshopt=0; notes+=("meshoptimizer: meshopt_harness not built (install libmeshoptimizer-dev, re-run cmake); skipped"); }
have_vtk=1; $PY -c 'import vtkmodules.vtkFiltersCore' 2>/dev/null || { have_vtk=0; notes+=("VTK: python3-vtk9 not installed; skipped"); }
have_o3d=1; $PY -c 'import open3d' 2>/dev/null || { have_o3d=0; notes+=("Open3D: python3-open3d not installed; skipped"); }
notes+=("MeshLab: its clustering decimation has no command-line route set up here (Debian 12's meshlab 2020.09 ships meshlabserver only with the whole Qt GUI stack); skipped")

load_start="$(cut -d' ' -f1-3 /proc/loadavg)"
printf 'grid\ttool\tt_call_s\tcpu_s\tpeak_rss_MB\trss_B_per_in_tri\tout_v\tout_t\trms_rel\tmax_rel\n' > "$tsv"

# Runs a command under /usr/bin/time -v; sets cpu (user+sys seconds) and
# rss (kB) from its report, out to its standard output, ok to its status.
timed() {
  local log="$1"; shift
  /usr/bin/time -v -o "$log.time" "$@" > "$log" 2>&1; ok=$?
  out="$(cat "$log")"
  cpu=$(awk -F': ' '/User time/{u=$2} /System time/{s=$2} END{printf "%.3f", u+s}' "$log.time")
  rss=$(awk -F': ' '/Maximum resident set size/{print $2}' "$log.time")
}
# Distance between the input and an output file: sets rms and mx.
distance() {
  local d; d="$("$BUILD/surface_distance" "$mesh" "$1" "$SAMPLES" 2>&1 | grep '^RESULT')"
  rms=$(sed -n 's/.* rms=\([^ ]*\).*/\1/p' <<< "$d"); mx=$(sed -n 's/.* max=\([^ ]*\).*/\1/p' <<< "$d")
  [ -n "$rms" ] || { rms=NA; mx=NA; }
}
row() {  # grid tool t_call
  local per=NA; [ -n "$in_tris" ] && [ "$in_tris" -gt 0 ] && per=$(awk -v r="$rss" -v t="$in_tris" 'BEGIN{printf "%.1f", r*1024/t}')
  printf '%s\t%s\t%s\t%s\t%.1f\t%s\t%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "$cpu" "$(awk -v r="$rss" 'BEGIN{print r/1024}')" \
    "$per" "$v" "$t" "$rms" "$mx" >> "$tsv"
}
field() { sed -n "s/.*RESULT.* $1=\([^ ]*\).*/\1/p" <<< "$out"; }

for n in "${grids[@]}"; do
  uc_tris=""
  for type in $TYPES; do
    timed "ours_${type}_$n.log" "$BUILD/tavrin" "$base.ply" "$type" "$n"
    # The status line "TAG[ n] v: V t: T l: L in TOTAL s. ( T_SIMP + T_INTERP)";
    # counts may carry digit grouping and times a decimal comma.
    line="$(grep -E "\[ *[0-9.,]+\] v:" <<< "$out" | tail -1)"
    if [ $ok -ne 0 ] || [ -z "$line" ]; then notes+=("$type at $n failed (see $OUT/ours_${type}_$n.log)"); continue; fi
    v=$(sed -E 's/.* v: ([0-9.,]+) t:.*/\1/' <<< "$line" | tr -d '.,')
    t=$(sed -E 's/.* t: ([0-9.,]+) l:.*/\1/' <<< "$line" | tr -d '.,')
    tsimp=$(sed -E 's/.*\( *([0-9.,e+-]+) \+.*/\1/' <<< "$line" | tr ',' '.')
    [ "$type" = HASH_UC ] && uc_tris=$t
    msh="$(printf '%s_simp_%s_%04d.msh' "$base" "$type" "$n")"
    distance "$msh"
    row "$n" "$type" "$tsimp"
  done
  if [ $have_meshopt = 1 ] && [ -n "$uc_tris" ]; then
    timed "meshopt_$n.log" "$BUILD/meshopt_harness" "$base.ply" "$uc_tris" "meshopt_$n.ply"
    if [ $ok = 0 ]; then v=$(field v); t=$(field t); distance "meshopt_$n.ply"; row "$n" meshopt_sloppy "$(field t_call)"
    else notes+=("meshoptimizer at $n failed"); fi
  fi
  if [ $have_vtk = 1 ]; then
    timed "vtk_$n.log" $PY "$here/vtk_cluster.py" "$base.ply" "$n" "vtk_$n.ply"
    if [ $ok = 0 ]; then v=$(field v); t=$(field t); distance "vtk_$n.ply"; row "$n" vtkQuadricClustering "$(field t_call)"
    else notes+=("VTK at $n: $(grep -m1 -E 'SKIP|Error|error' "vtk_$n.log" || echo failed)"); fi
  fi
  if [ $have_o3d = 1 ]; then
    for mode in average quadric; do
      timed "open3d_${mode}_$n.log" $PY "$here/open3d_cluster.py" "$base.ply" "$n" "$mode" "open3d_${mode}_$n.ply"
      if [ $ok = 0 ]; then v=$(field v); t=$(field t); distance "open3d_${mode}_$n.ply"; row "$n" "open3d_$mode" "$(field t_call)"
      else notes+=("Open3D $mode at $n failed"); fi
    done
  fi
done

load_end="$(cut -d' ' -f1-3 /proc/loadavg)"
echo "mesh: $mesh ($in_tris triangles); threads: $THREADS of $(nproc) cores; samples per surface: $SAMPLES"
echo "load average (1/5/15 min): at start $load_start, at end $load_end"
echo "t_call: the simplification call alone (ours: the driver's t_simp); cpu and peak RSS: the whole process (/usr/bin/time -v)"
echo "rms/max: symmetric surface distance (larger of the two directions) / input bbox diagonal"
column -t -s $'\t' "$tsv"
for note in "${notes[@]}"; do echo "note: $note"; done
