#!/usr/bin/env bash
# The real program on a real X server: the splash gives way to the shaped main window, which
# moves when dragged by its body and ends the program with status 0 from its exit button.
# Usage: e2e_xvfb.sh PATH_TO_RZ77 (needs DISPLAY, a sound server, xdotool and ImageMagick).
set -euo pipefail
program=$1
work=$(mktemp -d)
app=""
trap '[ -z "$app" ] || kill $app 2>/dev/null || true; rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "$0")/../support/e2e.sh"
rz77_require '[ -n "${DISPLAY:-}" ]' -- a display

# Geometry of the visible RZ77 window as "X Y W H", or nothing.
window_geometry() {
  local id
  id=$(xdotool search --onlyvisible --name '^RZ77$' 2>/dev/null | head -n 1) || true
  [ -n "$id" ] || return 0
  eval "$(xdotool getwindowgeometry --shell "$id")"
  echo "$X $Y $WIDTH $HEIGHT"
}

wait_for_size() {  # width height seconds
  local deadline=$((SECONDS + $3)) g
  while [ $SECONDS -lt $deadline ]; do
    g=$(window_geometry)
    if [ -n "$g" ] && [ "$(echo "$g" | cut -d' ' -f3-)" = "$1 $2" ]; then
      echo "$g"; return 0
    fi
    sleep 0.1
  done
  return 1
}

pixel() {  # x y -> "r,g,b"
  convert "$work/shot.png" -format "%[fx:int(255*p{$1,$2}.r)],%[fx:int(255*p{$1,$2}.g)],%[fx:int(255*p{$1,$2}.b)]" info:
}

"$program" >"$work/log" 2>&1 &
app=$!
start=$SECONDS

wait_for_size 300 200 3 >/dev/null || fail "no splash window"
read -r x y w h < <(wait_for_size 206 307 8) || fail "no main window after the splash"
elapsed=$((SECONDS - start))
[ $elapsed -ge 2 ] || fail "the main window came after ${elapsed}s, not after the splash's 3 s"
sleep 0.5

import -window root "$work/shot.png"
root=$(pixel 2 2)
[ "$(pixel $((x + 1)) $((y + 1)))" = "$root" ] || fail "top-left corner is not cut away"
[ "$(pixel $((x + w - 2)) $((y + h - 2)))" = "$root" ] || fail "bottom-right corner is not cut away"
[ "$(pixel $((x + w / 2)) $((y + h / 2)))" != "$root" ] || fail "the window body is not drawn"

# A bare spot of the body between the bars and the buttons.
xdotool mousemove $((x + 110)) $((y + 140)) mousedown 1
xdotool mousemove $((x + 130)) $((y + 160))
xdotool mousemove $((x + 150)) $((y + 190)) mouseup 1
sleep 0.3
read -r nx ny _ _ < <(window_geometry)
[ "$nx $ny" = "$((x + 40)) $((y + 50))" ] || fail "drag moved the window to $nx,$ny, not $((x + 40)),$((y + 50))"

# The exit button at (176, 20), 15 x 13 pixels.
xdotool mousemove $((nx + 183)) $((ny + 26)) click 1
for _ in $(seq 1 50); do
  kill -0 $app 2>/dev/null || break
  sleep 0.1
done
kill -0 $app 2>/dev/null && fail "exit did not end the program"
wait $app && status=0 || status=$?
[ $status -eq 0 ] || fail "exit status $status"
echo "PASS"
