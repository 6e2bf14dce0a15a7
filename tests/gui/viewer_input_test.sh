#!/bin/bash
# The viewer through its real event loop: the teapot and the status bar are
# drawn, keys, wheel and drags change the picture, status-bar clicks show
# and hide the output window, a resize reports the size, q ends with 0.
# Usage: viewer_input_test.sh BUILD_DIR (exit 77: no virtual display here).
source "$(dirname "$0")/viewer_common.sh"

session_start "$teapot" || finish
# The picture without the status strip (whose frame rate changes), and the strip.
differ_view() { differ "$1" "$2" 1024 560 "$X0" "$Y0"; }
strip_y=$((Y0 + 600 - 20))

shot start
centre=$("$gs" pixel $((X0 + 512)) $((Y0 + 300)))
corner=$("$gs" pixel $((X0 + 1000)) $((Y0 + 100)))
check "the teapot is drawn at the centre ($centre, background $corner)" test "$centre" != "$corner"
check "the status bar has text" test "$(dark start 1024 20 $X0 $strip_y)" -gt 20

# Keys and wheel: each step changes the picture.
"$gs" xdo key w; sleep 0.4; shot zoom_in
check "w zooms" test "$(differ_view start zoom_in)" -gt 500
"$gs" xdo key s; sleep 0.4; shot zoom_back
check "s zooms back" test "$(differ_view zoom_in zoom_back)" -gt 500
"$gs" xdo mousemove --window "$W" 512 300 click 4; sleep 0.4; shot wheel
check "the wheel zooms" test "$(differ_view zoom_back wheel)" -gt 500
"$gs" xdo click 5; sleep 0.4; shot wheel_back

# A left drag rotates, a middle drag pans.
drag() {  # drag BUTTON X0 Y0 X1 Y1
  "$gs" xdo mousemove --window "$W" "$2" "$3" mousedown "$1" sleep 0.05 \
    mousemove --window "$W" $(( ($2 + $4) / 2 )) $(( ($3 + $5) / 2 )) sleep 0.05 \
    mousemove --window "$W" "$4" "$5" sleep 0.05 mouseup "$1"
  sleep 0.4
}
drag 1 450 300 600 250; shot rotated
check "a left drag rotates" test "$(differ_view wheel_back rotated)" -gt 500
drag 2 512 300 312 300; shot panned
check "a middle drag pans" test "$(differ_view rotated panned)" -gt 500
# The picture goes the pointer's way: 200 pixels to the left, give or take
# the perspective.
before=$(first_ink rotated 300)
after=$(first_ink panned 300)
check "the pan moves the picture left ($before -> $after)" \
  test $((before - after)) -gt 120 -a $((before - after)) -lt 260

# The right button opens the (still empty) menu without harm.
"$gs" xdo mousemove --window "$W" 700 200 click 3 sleep 0.3 key Escape
sleep 0.3
check "the program lives after a right click" "$gs" alive

# Status-bar clicks hide and show the output window; h and o bring it back.
click_strip() { "$gs" xdo mousemove --window "$W" 300 590 click 1; }
click_strip
check "a left click on the status bar hides the output window" wait_output 0
"$gs" xdo key h
check "h writes the key help to the output window" wait_output 1
click_strip; wait_output 0
"$gs" xdo key o
check "o shows the output window" wait_output 1
click_strip; wait_output 0
click_strip
check "the next click shows it again" wait_output 1
check "below the graphics window" output_listed_at 32 672
# A middle click on the bar takes the previous font of its list, a size smaller.
shot font_before
"$gs" xdo mousemove --window "$W" 300 590 click 2; sleep 0.4; shot font_after
check "a middle click on the status bar changes its font" \
  test "$(differ font_before font_after 1024 20 $X0 $strip_y)" -gt 50
# Twenty-five more clicks go once round the list, back to the first font.
for _ in $(seq 25); do "$gs" xdo click 2 sleep 0.05; done
sleep 0.4

# A resize puts "800x500" in field 2 (cells 62 to 68 of ten pixels; an fps
# text would run on past cell 70). A key first makes a frame, so that no
# frame-rate window is due when the resize draws.
resized=0
for _ in 1 2 3; do
  "$gs" xdo key x sleep 0.2
  "$gs" xdo windowsize "$W" 800 500; sleep 0.6
  shot resized
  text=$(dark resized 70 20 $((X0 + 620)) $((Y0 + 480)))
  after=$(dark resized 90 20 $((X0 + 700)) $((Y0 + 480)))
  if [ "$text" -gt 30 ] && [ "$after" -eq 0 ]; then resized=1; break; fi
  "$gs" xdo windowsize "$W" 1024 600; sleep 0.6
done
check "a resize to 800x500 shows the size in field 2" test "$resized" = 1
check "the strip moves to the new bottom" test "$(dark resized 800 20 $X0 $((Y0 + 480)))" -gt 20

"$gs" xdo key q
status=$("$gs" wait-exit 10)
check "q ends with status 0 (got $status)" test "$status" = 0
session_end
finish
