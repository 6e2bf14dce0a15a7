#!/bin/bash
# The popup menus through the real event loop: Model > Simplify (hash) with
# answers typed into the prompts shows the simplified object; Save... to a new
# .ply writes a file that the batch program reads back with the same counts
# and scalars; saving onto an existing file and answering "No" writes
# nothing; Quit ends the program with status 0.
# Usage: ui_menus_test.sh BUILD_DIR (exit 77: no virtual display here).
source "$(dirname "$0")/viewer_common.sh"

cp "$here/../data/bunny_attrs.ply" "$work/bunny.ply"
saved_name="ui_menus_test_$$.ply"
saved="$(cd "$(dirname "$tavrin")" && pwd)/$saved_name"  # Save starts in the program's folder
trap 'session_end; rm -rf "$work"; rm -f "$saved"' EXIT

# What the batch run makes of the same simplification: the counts the saved
# file must read back with.
summary=$(cd "$work" && "$tavrin" bunny.ply HASH_UC 12 | grep -m1 'HUC\[ 12\] v:')
nodes=$(sed 's/.* v: \([0-9.]*\) t: .*/\1/' <<<"$summary")
triangles=$(sed 's/.* t: \([0-9.]*\) l: .*/\1/' <<<"$summary")
[ -n "$nodes" ] && [ -n "$triangles" ] || fail "the batch run reports its counts ($summary)"

session_start "$work/bunny.ply" || exit 1
"$gs" wait-log 'scalars = 7' 10 >/dev/null 2>&1 || true

# Model (8th entry) > Simplify ( hash UC lib) (5th): 12 divisions, type 0.
# The simplified object replaces the original: a coarse grid changes the
# silhouette, so the check does not depend on the objects' colours.
shot before
pick 8 5
answer 12
answer 0
sleep 2
"$gs" xdo key Return  # "Simplification done."
sleep 1.5
shot simplified
changed=$(differ before simplified 600 400 $((X0 + 212)) $((Y0 + 100)))
check "Simplify (hash) from the menu shows the simplified object ($changed pixels changed)" \
  [ "$changed" -gt 3000 ]

# Select scalar (5th entry) > "temp C" (8th): the object is coloured by the
# ramp, whose blue half no uncoloured object shows.
pick 5 8
sleep 1.5
shot scalar
bluish=$(convert "$work/scalar.png" -crop "1024x560+$X0+$Y0" +repage \
  -fx 'b > r + 0.25 ? 1 : 0' -format '%[fx:int(10000*mean)]' info:)
check "Select scalar colours the object (bluish pixels: $bluish per 10000)" [ "$bluish" -gt 20 ]

# Save... (2nd entry) to a new .ply in the program's folder.
pick 2
"$gs" wait-window '^Save file$' 10 >/dev/null || fail "the save chooser opens"
"$gs" xdo key End
"$gs" xdo type --delay 30 "$saved_name"
"$gs" xdo key Return
sleep 1.5
check "Save... writes the file" [ -s "$saved" ]
batch=$("$tavrin" "$saved" HASH_UC 8 2>&1)
check "the saved file reads back with the counts and scalars" \
  grep -q "num nodes = $nodes, num triangles = $triangles, scalars = 7" <<<"$batch"

# Saving onto it again and answering "No" writes nothing.
echo keep >"$saved"
pick 2
"$gs" wait-window '^Save file$' 10 >/dev/null || fail "the save chooser opens again"
"$gs" xdo key End
"$gs" xdo type --delay 30 "$saved_name"
"$gs" xdo key Return
sleep 1
"$gs" xdo key Escape  # "No" to the overwrite question
sleep 1
check "answering No leaves the existing file alone" [ "$(cat "$saved")" = keep ]

# Quit (9th entry).
pick 9
status=$("$gs" wait-exit 10)
check "Quit ends the program with status 0" [ "$status" = 0 ]
GUI_SESSION=

[ "$failures" = 0 ]
