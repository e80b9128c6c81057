#!/usr/bin/env bash
# The real program on a real X server: right-button drags over a bar and over the body never end
# it; a right click opens the menu, whose Quit ends the program with status 0.
# Usage: e2e_right_click.sh PATH_TO_RZ77 (needs DISPLAY, a sound server and xdotool).
set -euo pipefail
program=$1
work=$(mktemp -d)
app=""
trap '[ -z "$app" ] || kill $app 2>/dev/null || true; rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "$0")/../support/e2e.sh"
rz77_require '[ -n "${DISPLAY:-}" ]' -- a display
alive() { kill -0 $app 2>/dev/null || fail "the program ended after $*"; }
visible_windows() { xdotool search --onlyvisible --pid $app 2>/dev/null | wc -l; }

main_window() {  # -> "X Y"
  local id
  id=$(xdotool search --onlyvisible --name '^RZ77$' 2>/dev/null | head -n 1) || true
  [ -n "$id" ] || return 1
  eval "$(xdotool getwindowgeometry --shell "$id")"
  [ "$WIDTH" = 206 ] || return 1
  echo "$X $Y"
}

right_drag() {  # from-x from-y to-x to-y, relative to the window
  xdotool mousemove $((x + $1)) $((y + $2)) mousedown 3
  xdotool mousemove $((x + ($1 + $3) / 2)) $((y + ($2 + $4) / 2))
  xdotool mousemove $((x + $3)) $((y + $4)) mouseup 3
  sleep 0.4
}

"$program" >"$work/log" 2>&1 &
app=$!
for _ in $(seq 1 100); do main_window >/dev/null && break; sleep 0.1; done
read -r x y < <(main_window) || fail "no main window"
sleep 0.5

# The VOLUME bar (30, 116, 60 x 10), then a string, then the body.
right_drag 80 121 40 125
alive "a right drag over the VOLUME bar"
right_drag 144 70 190 72
alive "a right drag over a string"
[ "$(visible_windows)" -eq 1 ] || fail "a right drag opened a window"
right_drag 110 140 140 170
alive "a right drag over the body"
read -r nx ny < <(main_window)
[ "$nx $ny" = "$((x + 30)) $((y + 30))" ] || fail "right drag moved the window to $nx,$ny"
x=$nx y=$ny

xdotool mousemove $((x + 110)) $((y + 140)) click 3
sleep 0.4
[ "$(visible_windows)" -eq 2 ] || fail "a right click opened no menu"
xdotool key Escape
sleep 0.3
[ "$(visible_windows)" -eq 1 ] || fail "Escape left the menu open"

# X, the MP3 player's STOP, does nothing in the open menu; Quit's mnemonic Q ends the program.
xdotool mousemove $((x + 70)) $((y + 121)) click 3
sleep 0.4
xdotool key x
sleep 0.4
alive "X in the open menu"
xdotool key q
for _ in $(seq 1 50); do
  kill -0 $app 2>/dev/null || break
  sleep 0.1
done
kill -0 $app 2>/dev/null && fail "Quit from the menu did not end the program"
wait $app && status=0 || status=$?
app=""
[ $status -eq 0 ] || fail "exit status $status"
echo PASS
