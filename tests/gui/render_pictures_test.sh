#!/bin/bash
# Pictures drawn by tavrin-render under a virtual display: the lit original,
# the simplified object's colours, edges, the axes inset, the placeholder
# sphere, identical pictures from the three render methods, the fallback to
# display lists without buffer objects, the Intel path, no axes inset on a
# thumbnail, the messages of --quiet and of failures, and the one-line
# refusal without a display. Usage: render_pictures_test.sh BUILD_DIR
# (exit 77 = skipped: no xvfb-run or ImageMagick).
set -u
BUILD=$(cd "${1:-build}" && pwd)
RENDER="$BUILD/tavrin-render"
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
TEAPOT="$ROOT/data/teapot.ply"

command -v xvfb-run >/dev/null || { echo "xvfb-run missing: skipped"; exit 77; }
command -v convert >/dev/null && command -v compare >/dev/null ||
  { echo "ImageMagick missing: skipped"; exit 77; }
[ -x "$RENDER" ] || { echo "FAIL: $RENDER not built"; exit 1; }

# One virtual display for the whole script.
if [ -z "${RENDER_TEST_DISPLAY:-}" ]; then
  exec xvfb-run -a -s '-screen 0 1280x1024x24' env RENDER_TEST_DISPLAY=1 bash "$0" "$BUILD"
fi

T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
render() { "$RENDER" --quiet "$@" || fail "tavrin-render $* exited $?"; }

# "R,G,B" of pixel (x, y), y counted from the top of the picture.
pixel() {
  convert "$1" -format "%[fx:int(255*p{$2,$3}.r+.5)],%[fx:int(255*p{$2,$3}.g+.5)],%[fx:int(255*p{$2,$3}.b+.5)]" info:
}
# True when pixel (x, y) is within 8 of the colour R,G,B.
near() {
  local got; got=$(pixel "$1" "$2" "$3")
  awk -F, -v g="$got" -v w="$4" 'BEGIN { split(g, a, ","); split(w, b, ",");
    for (i = 1; i <= 3; i++) if (a[i] - b[i] > 8 || b[i] - a[i] > 8) exit 1 }'
}
# Fails unless the pixel is within 8 of the colour.
expect_colour() {
  near "$@" || fail "$1 pixel ($2, $3) is $(pixel "$1" "$2" "$3"), expected $4 ($5)"
}
# Counts of row y's pixels between x0 and x1: white, and those passing an awk test on r g b.
row_counts() {
  convert "$1" -crop "$(($4 - $3))x1+$3+$2" +repage -depth 8 txt:- |
    awk -v test="$5" 'NR > 1 { s = $0; sub(/^[^(]*\(/, "", s); split(s, c, /[,)]/);
      r = c[1]; g = c[2]; b = c[3];
      if (r == 255 && g == 255 && b == 255) white++;
      else if ((test == "blue" && b > r + 60 && b > g + 60) ||
               (test == "grey" && r - g < 4 && g - r < 4 && g - b < 4 && b - g < 4)) hit++ }
      END { print white + 0, hit + 0 }'
}

# The original, lit grey at the centre; white around it.
render "$TEAPOT" "$T/body.png"
c=$(pixel "$T/body.png" 512 300)
awk -F, '{ exit !($1 == $2 && $2 == $3 && $1 > 90 && $1 < 240) }' <<<"$c" ||
  fail "teapot centre is $c, expected a lit grey"
expect_colour "$T/body.png" 512 40 255,255,255 "background above the teapot"
# Filled faces across the body: grey, no background showing through.
read -r white grey < <(row_counts "$T/body.png" 300 420 600 grey)
[ "$white" -eq 0 ] && [ "$grey" -eq 180 ] || fail "body row: $white white, $grey grey pixels"

# The simplified object alone, in its own colour (0.75, 0.61, 0.23 lit).
render "$TEAPOT" "$T/simp.png" --simplify HASH_UC 24
c=$(pixel "$T/simp.png" 512 300)
awk -F, '{ exit !($1 > $2 + 15 && $2 > $3 + 40) }' <<<"$c" ||
  fail "simplified centre is $c, expected a lit gold"

# Edges: blue lines with white between them across the body.
render "$TEAPOT" "$T/edges.png" --style edges --simplify HASH_UC 16 --both
read -r white blue < <(row_counts "$T/edges.png" 300 400 620 blue)
[ "$white" -gt 50 ] && [ "$blue" -gt 5 ] ||
  fail "edges row: $white white, $blue blue pixels (expected both)"

# Body and edges: dark edges over lit faces, not a black silhouette.
render "$TEAPOT" "$T/both.png" --style both --simplify HASH_UC 16
dark=$(convert "$T/both.png" -crop 220x1+400+300 +repage -depth 8 txt:- |
       awk 'NR > 1 { s = $0; sub(/^[^(]*\(/, "", s); split(s, c, /[,)]/);
                     if (c[1] + c[2] + c[3] < 60) d++ } END { print d + 0 }')
[ "$dark" -gt 3 ] && [ "$dark" -lt 150 ] || fail "body and edges row has $dark dark pixels of 220"

# The axes inset at its fixed place: green facing the eye in the identity
# view; red, yellow and blue seen from the other side; same place at another size.
expect_colour "$T/body.png" 46 533 0,255,0 "axes, green face"
render "$TEAPOT" "$T/axes.png" --quaternion 0.628 -0.628 0 0.4597
expect_colour "$T/axes.png" 33 547 255,0,0 "axes, red face"
expect_colour "$T/axes.png" 36 535 255,255,0 "axes, yellow face"
expect_colour "$T/axes.png" 44 543 0,0,255 "axes, blue face"
render "$TEAPOT" "$T/small.png" --size 800x500
expect_colour "$T/small.png" 46 433 0,255,0 "axes at 800x500"
expect_colour "$T/small.png" 46 400 255,255,255 "above the axes at 800x500"

# An object without nodes shows the placeholder sphere: at the window's
# framing only its slab between the planes, a ring once zoomed out.
render --empty "$T/empty.png" --size 400x300 --zoom 9.9
expect_colour "$T/empty.png" 200 150 255,255,255 "inside the placeholder ring"
c=$(pixel "$T/empty.png" 200 88)
awk -F, '{ exit !($1 == $2 && $2 == $3 && $1 < 250) }' <<<"$c" ||
  fail "placeholder ring pixel is $c, expected grey"

# The three render methods draw the same picture.
for m in lists arrays buffers; do
  render "$TEAPOT" "$T/$m.png" --method "$m" --rotate 30 40 0 --style both --size 400x300
done
for m in lists arrays; do
  diff=$(compare -metric AE "$T/$m.png" "$T/buffers.png" null: 2>&1)
  [ "${diff%%.*}" -le 4 ] 2>/dev/null || fail "$m and buffers differ in $diff pixels"
done

# Colouring by a field goes through the texture coordinates of each method
# alike (display lists compile them in).
for m in lists arrays buffers; do
  render "$ROOT/tests/data/bunny_attrs.ply" "$T/scalar_$m.png" --scalar "temp c" --method "$m" \
    --size 400x300
done
for m in lists arrays; do
  diff=$(compare -metric AE "$T/scalar_$m.png" "$T/scalar_buffers.png" null: 2>&1)
  [ "${diff%%.*}" -le 4 ] 2>/dev/null || fail "coloured $m and buffers differ in $diff pixels"
done
c=$(pixel "$T/scalar_lists.png" 200 150)
awk -F, '{ d1 = $1 - $2; d2 = $2 - $3; if (d1 < 0) d1 = -d1; if (d2 < 0) d2 = -d2;
           exit !(d1 + d2 > 60) }' <<<"$c" || fail "coloured bunny centre is $c, expected a colour"

# Without the buffer-object extension the display lists draw it.
out=$(MESA_EXTENSION_OVERRIDE=-GL_ARB_vertex_buffer_object \
      "$RENDER" "$TEAPOT" "$T/fallback.png" --verbose --method buffers --rotate 30 40 0 \
      --style both --size 400x300 2>&1) || fail "fallback run exited $?"
grep -q "OPENLGL: Extension GL_ARB_vertex_buffer_object NOT present" <<<"$out" ||
  fail "no missing-extension line: $out"
grep -q "^Render method: display list$" <<<"$out" || fail "no display-list fallback: $out"
diff=$(compare -metric AE "$T/fallback.png" "$T/buffers.png" null: 2>&1)
[ "${diff%%.*}" -le 4 ] 2>/dev/null || fail "fallback picture differs in $diff pixels"

# The vendor decides the driver line.
out=$("$RENDER" "$TEAPOT" "$T/mesa.png" --verbose --size 64x64 2>&1)
grep -q "^Running with Mesa graphics.$" <<<"$out" || fail "Mesa not recognised: $out"
out=$(force_gl_vendor="Intel Open Source Technology Center" \
      "$RENDER" "$TEAPOT" "$T/intel.png" --verbose --size 64x64 2>&1)
grep -q "^Running with Intel graphics.$" <<<"$out" || fail "Intel path not taken: $out"

# Failures are reported, not crashed on.
"$RENDER" --quiet "$T/missing.ply" "$T/x.png" 2>"$T/err"
[ $? -eq 1 ] && grep -q "missing.ply" "$T/err" || fail "missing mesh: $(cat "$T/err")"
for bad in "--size 0x10" "--style solid" "--simplify HASH_FOO 8" "--simplify HASH_UC 0"; do
  # shellcheck disable=SC2086
  "$RENDER" "$TEAPOT" "$T/x.png" $bad 2>/dev/null
  [ $? -eq 2 ] || fail "'$bad' accepted"
done
# Messages: --quiet silences the shader lines; one pointer to the help; the
# system's reason when the picture cannot be written.
out=$("$RENDER" --quiet "$TEAPOT" "$T/phong.png" --shader phong --size 64x64 2>&1)
[ -z "$out" ] || fail "--quiet still printed: $out"
out=$("$RENDER" "$TEAPOT" "$T/x.png" --shader nosuch 2>&1)
[ "$(grep -o 'help' <<<"$out" | wc -l)" -eq 1 ] || fail "unknown --shader: '$out'"
out=$("$RENDER" --quiet "$TEAPOT" "$T/no/such/folder.png" --size 64x64 2>&1)
grep -q "could not write '$T/no/such/folder.png': No such file or directory" <<<"$out" ||
  fail "unwritable picture: '$out'"
# A thumbnail has no axes inset: the inset's green face would reach (50, 4).
near "$T/mesa.png" 50 4 0,255,0 && fail "64x64 thumbnail has the axes inset"

out=$(env -u DISPLAY "$RENDER" "$TEAPOT" "$T/x.png" 2>&1)
status=$?
[ $status -ne 0 ] && [ $status -lt 128 ] && [ "$(wc -l <<<"$out")" -eq 1 ] &&
  grep -q "xvfb-run" <<<"$out" || fail "without a display: status $status, '$out'"

[ $failures -eq 0 ] && echo "render pictures: all checks passed"
exit $((failures > 0))
