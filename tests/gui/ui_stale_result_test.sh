#!/bin/bash
# Results that must never be stale, through the real event loop: after
# Model > Simplify, q asks before the unsaved simplification is dropped
# (Return answers No); File > Open of another mesh drops the simplified
# object, so Save then writes the new mesh, which reads back with its own
# counts; Return at the overwrite question keeps the file; with nothing
# unsaved q ends the program at once.
# Usage: ui_stale_result_test.sh BUILD_DIR (exit 77: no virtual display here).
source "$(dirname "$0")/viewer_common.sh"

cp "$here/../data/bunny_attrs.ply" "$work/bunny.ply"
cp "$teapot" "$work/teapot.ply"
saved_name="ui_stale_result_test_$$.ply"
saved="$(cd "$(dirname "$tavrin")" && pwd)/$saved_name"  # Save starts in the program's folder
trap 'session_end; rm -rf "$work"; rm -f "$saved"' EXIT
teapot_counts=$("$tavrin" "$work/teapot.ply" HASH_UC 8 | grep -m1 -o 'num nodes = [0-9.]*, num triangles = [0-9.]*')

cd "$work" || exit 1  # Open starts in the working directory
session_start "$work/bunny.ply" || finish
"$gs" wait-log 'scalars = 7' 10 >/dev/null 2>&1 || true

# Model (8th entry) > Simplify ( hash UC lib) (5th): 12 divisions, type 0.
pick 8 5
answer 12
answer 0
sleep 2
"$gs" xdo key Return  # "Simplification done."
sleep 1

# q with an unsaved simplification asks; Return answers No.
untitled() { "$gs" windows | grep -c ' window .*""$'; }
dialogs=$(untitled)
"$gs" xdo key q
sleep 1
check "q asks before dropping the unsaved simplification" [ "$(untitled)" -gt "$dialogs" ]
check "the program waits for the answer" "$gs" alive
"$gs" xdo key Return
sleep 1
check "Return answers No: the program goes on" "$gs" alive

# Open (1st entry) the teapot from the working directory.
pick 1
"$gs" wait-window '^Open file$' 10 >/dev/null || fail "the open chooser opens"
"$gs" xdo key End
"$gs" xdo type --delay 30 "teapot.ply"
"$gs" xdo key Return
sleep 2

# Save (2nd entry) writes the teapot, not the bunny's simplification.
pick 2
"$gs" wait-window '^Save file$' 10 >/dev/null || fail "the save chooser opens"
"$gs" xdo key End
"$gs" xdo type --delay 30 "$saved_name"
"$gs" xdo key Return
sleep 1.5
check "Save writes the file" [ -s "$saved" ]
back=$("$tavrin" "$saved" HASH_UC 8 2>&1 | grep -m1 -o 'num nodes = [0-9.]*, num triangles = [0-9.]*')
check "the saved file is the opened mesh ($back; teapot: $teapot_counts)" \
  [ -n "$back" -a "$back" = "$teapot_counts" ]

# Saving onto it again: Return answers the overwrite question with No.
echo keep >"$saved"
pick 2
"$gs" wait-window '^Save file$' 10 >/dev/null || fail "the save chooser opens again"
"$gs" xdo key End
"$gs" xdo type --delay 30 "$saved_name"
"$gs" xdo key Return
sleep 1
"$gs" xdo key Return
sleep 1
check "Return at the overwrite question keeps the file" [ "$(cat "$saved")" = keep ]

# Nothing unsaved now: q ends at once.
"$gs" xdo key q
status=$("$gs" wait-exit 10)
check "q then ends the program with status 0 (got $status)" [ "$status" = 0 ]
GUI_SESSION=
finish
