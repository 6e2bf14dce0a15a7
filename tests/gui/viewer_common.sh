# shellcheck shell=bash disable=SC2034
# Helpers for the viewer's tests under a virtual display; sourced by
# viewer_*_test.sh with the build directory as $1. Skips (77) where the
# virtual display or the input and picture tools are missing.
set -u
build=${1:?build directory}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
gs="$here/gui-session"
tavrin="$build/tavrin"
teapot="$here/../data/teapot.ply"
for tool in Xvfb xauth xdotool convert compare import python3; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
[ -x "$tavrin" ] || { echo "missing $tavrin"; exit 1; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

work=$(mktemp -d)
session_start() {  # session_start ARGS... ; sets W (the graphics window)
  GUI_SESSION=$("$gs" start -- "$tavrin" "$@") || { echo "cannot start a session"; exit 77; }
  export GUI_SESSION
  W=$("$gs" wait-window '^Tavrin$' 20) || { fail "the window titled Tavrin appears"; return 1; }
  # The key help opens the output window once everything is made.
  "$gs" wait-window '^Tavrin output window$' 20 >/dev/null || fail "the output window appears"
  "$gs" xdo windowfocus "$W"
  sleep 0.5
}
session_end() {
  [ -n "${GUI_SESSION:-}" ] && "$gs" stop --rm >/dev/null 2>&1
  GUI_SESSION=
}
trap 'session_end; rm -rf "$work"' EXIT

# The graphics window sits at (32, 32) on the screen (no window manager).
X0=32
Y0=32

shot() { "$gs" shot "$work/$1.png"; }
# Number of pixels that differ between two shots inside a screen rectangle.
differ() {  # differ A B W H X Y
  convert "$work/$1.png" -crop "$3x$4+$5+$6" +repage "$work/c1.png"
  convert "$work/$2.png" -crop "$3x$4+$5+$6" +repage "$work/c2.png"
  compare -metric AE "$work/c1.png" "$work/c2.png" null: 2>&1 | cut -d' ' -f1
}
# Per mille of dark pixels (luminance below one half) inside a screen rectangle.
dark() {  # dark SHOT W H X Y
  convert "$work/$1.png" -crop "$2x$3+$4+$5" +repage -colorspace Gray -threshold 50% \
    -format '%[fx:int(1000*(1-mean))]' info:
}
# First column of a window row (from the left of the graphics window) that
# is not white; -1 when the row is all white.
first_ink() {  # first_ink SHOT ROW
  convert "$work/$1.png" -crop "1024x1+$X0+$((Y0 + $2))" +repage txt:- |
    awk -F'[,: ]+' 'NR > 1 && $0 !~ /#FFFFFF/ { print $1; found = 1; exit } END { if (!found) print -1 }'
}
window_listed() { "$gs" windows | grep -q "\"$1\"\$"; }
output_listed_at() { "$gs" windows | grep -q "+$1+$2 \"Tavrin output window\"\$"; }
# Waits until the output window is (1) or is not (0) on screen.
wait_output() {
  for _ in $(seq 30); do
    if window_listed "Tavrin output window"; then [ "$1" = 1 ] && return 0
    else [ "$1" = 0 ] && return 0; fi
    sleep 0.1
  done
  return 1
}
# Sends the close request a window manager sends when the user closes a window.
close_window() {  # close_window WINDOW_ID
  eval "$("$gs" env)"
  python3 - "$1" <<'PY'
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x.XFlush.argtypes = [ctypes.c_void_p]
x.XCloseDisplay.argtypes = [ctypes.c_void_p]
class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]
d = x.XOpenDisplay(None)
w = int(sys.argv[1])
ev = ClientMessage()
ev.type = 33  # ClientMessage
ev.window = w
ev.message_type = x.XInternAtom(d, b"WM_PROTOCOLS", 0)
ev.format = 32
ev.data[0] = x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
ev.data[1] = 0  # CurrentTime
x.XSendEvent(d, w, 0, 0, ctypes.byref(ev))
x.XFlush(d)
x.XCloseDisplay(d)
PY
}
# Popups are listed as "ID popup WxH+X+Y"; prints X Y W H of the newest.
popup() {
  "$gs" windows | awk '$2 == "popup" { g = $3 } END { if (g == "") exit 1; print g }' |
    awk -F'[x+]' '{ print $3, $4, $1, $2 }'
}
# Opens the root menu and picks entry N (1-based); with M, hovers entry N and
# picks entry M of its submenu.
pick() {  # pick N [M]
  "$gs" xdo mousemove --window "$W" 300 300 click 3
  sleep 0.5
  local x y w h
  read -r x y w h < <(popup) || { fail "the popup menu opens"; return 1; }
  local row=$((h / 9))
  "$gs" xdo mousemove $((x + 30)) $((y + row * ($1 - 1) + row / 2))
  sleep 0.5
  if [ $# -ge 2 ]; then
    local sx sy sw sh
    read -r sx sy sw sh < <(popup) || { fail "the submenu opens"; return 1; }
    [ "$sx" != "$x" ] || { fail "the submenu opens"; return 1; }
    "$gs" xdo mousemove $((sx + 30)) $((sy + row * ($2 - 1) + row / 2))
    sleep 0.3
  fi
  "$gs" xdo click 1
  sleep 0.5
}
answer() {  # types one prompt answer and confirms it
  "$gs" xdo type --delay 30 "$1"
  "$gs" xdo key Return
  sleep 0.5
}

finish() {
  if [ "$failures" -gt 0 ]; then echo "$failures check(s) failed"; exit 1; fi
  exit 0
}
