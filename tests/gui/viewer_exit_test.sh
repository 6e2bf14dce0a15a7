#!/bin/bash
# How the viewer ends: Esc and closing its window end it with status 0 (the
# output window open beside it); without a display it says how to run it
# under a virtual display and fails without a crash.
# Usage: viewer_exit_test.sh BUILD_DIR (exit 77: no virtual display here).
source "$(dirname "$0")/viewer_common.sh"

session_start "$teapot" || finish
"$gs" xdo key Escape
status=$("$gs" wait-exit 10)
check "Esc ends with status 0 (got $status)" test "$status" = 0
session_end

session_start "$teapot" || finish
check "the output window is open" window_listed "Tavrin output window"
close_window "$W"
status=$("$gs" wait-exit 10)
check "closing the window ends with status 0 (got $status)" test "$status" = 0
session_end

# No display: one line on how to run it, a plain failure status.
env -u DISPLAY -u WAYLAND_DISPLAY "$tavrin" "$teapot" >"$work/out" 2>"$work/err"
status=$?
check "without a display the status is a plain failure (got $status)" \
  test "$status" -ne 0 -a "$status" -lt 128
check "one line on standard error" test "$(wc -l <"$work/err")" = 1
check "it says how to run it" grep -q "no display could be opened.*xvfb-run -a .*FILE.ply" "$work/err"
check "nothing on standard output" test ! -s "$work/out"
# The batch road needs no display.
cp "$teapot" "$work/t.ply"
env -u DISPLAY "$tavrin" "$work/t.ply" HASH_UC 16 >"$work/batch" 2>&1
check "a batch run needs no display" test -s "$work/t_simp_HASH_UC_0016.msh"
finish
