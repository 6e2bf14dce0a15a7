#!/bin/bash
# Checks that a build writes the same GiD files as a reference build, byte
# for byte, for every simplification type, several grids and 1, 2 and 4
# threads. The reference outputs are made once per REF_BIN and kept in
# REF_DIR, so later checks run only the new binary.
#   bench/check_identical.sh REF_BIN NEW_BIN [MESH.ply ...]
# REF_BIN and NEW_BIN are folders holding `tavrin`. Without meshes: the
# shipped ones (tests/data/*.ply, data/teapot.ply) at grids 16, 64, 256; a
# mesh given as BIG:path is run at grids 64, 256, 1024.
# Exit status 0 when every output matches.
set -u
ref_bin=$1
new_bin=$2
shift 2
here=$(cd "$(dirname "$0")/.." && pwd)
ref_dir=${REF_DIR:-/tmp/tavrin_ref_outputs}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
types="HASH_UC HASH_UC_ACC HASH_UC_NORMAL HASH_UC_ADAPT_NORMAL HASH_UC_TEMP HASH_UC_TEMP_NORMAL
 HASH_UC_SCALAR HASH_UC_SCALAR3_NORMAL HASH_UC_SCALAR3_VECTOR HASH_UC_SINGLE HASH_UC_COHERENT"
meshes=("$@")
if [ ${#meshes[@]} -eq 0 ]; then
  meshes=("$here"/tests/data/*.ply "$here"/data/teapot.ply)
fi
mkdir -p "$ref_dir"
failures=0
runs=0
# run BIN MESH TYPE GRID THREADS OUT: the .msh and .res of one run, in OUT.
run() {
  local bin=$1 mesh=$2 type=$3 grid=$4 threads=$5 out=$6
  local d="$work/run"
  rm -rf "$d" && mkdir -p "$d"
  ln -s "$mesh" "$d/m.ply"
  OMP_NUM_THREADS=$threads "$bin/tavrin" "$d/m.ply" "$type" "$grid" >/dev/null 2>&1
  mkdir -p "$out"
  for f in "$d"/m_simp_*; do [ -e "$f" ] && cp "$f" "$out/${f##*.}"; done
}
for entry in "${meshes[@]}"; do
  grids="16 64 256"
  mesh=$entry
  if [[ $entry == BIG:* ]]; then
    grids="64 256 1024"
    mesh=${entry#BIG:}
  fi
  mesh=$(readlink -f "$mesh")
  tag=$(echo "$mesh" | md5sum | cut -c1-8)_$(basename "$mesh" .ply)
  for type in $types; do
    for grid in $grids; do
      ref="$ref_dir/$tag/$type/$grid"
      [ -e "$ref/done" ] || { run "$ref_bin" "$mesh" "$type" "$grid" 1 "$ref" && touch "$ref/done"; }
      for threads in 1 2 4; do
        new="$work/new"
        rm -rf "$new"
        run "$new_bin" "$mesh" "$type" "$grid" "$threads" "$new"
        runs=$((runs + 1))
        for f in msh res; do
          if [ -e "$ref/$f" ] || [ -e "$new/$f" ]; then
            if ! cmp -s "$ref/$f" "$new/$f"; then
              echo "DIFFERS: $(basename "$mesh") $type grid $grid threads $threads .$f"
              failures=$((failures + 1))
            fi
          fi
        done
      done
    done
  done
done
echo "$runs runs compared, $failures differing files"
[ $failures -eq 0 ]
