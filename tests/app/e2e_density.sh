#!/usr/bin/env bash
# The real program at 120 and 144 dots per inch and at a scale factor of 2, each on its own X
# server: the window keeps its size in twips, real clicks on a string, Play, the VOLUME bar and
# the tempo slider give what the twip arithmetic gives at that density, and the skin's landmarks
# sit where the 96 dpi picture, scaled, has them (within a pixel).
# Usage: e2e_density.sh PATH_TO_RZ77 PATH_TO_PROBE PATH_TO_RECEIVER
set -euo pipefail
program=$1 probe=$2 receiver=$3
work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL [$mode]: $*"; tail -n 8 "$work/received" 2>/dev/null; exit 1; }
mode=setup

source "$(dirname "$0")/../support/e2e.sh"
rz77_require '[ -n "${DISPLAY:-}" ]' jack_lsp -- a display and a JACK server

rz77_start_receiver "$receiver" "$probe" --times
cp "$program" "$work/rz77"
printf '[device]\r\nid=%s\r\n[sound]\r\nid=25\r\n[channel]\r\nid=1\r\n' "$device" >"$work/rz77.rz"

calc() { awk "BEGIN { print $* }"; }
# Nearest whole number, an exact half to the even neighbour, as the program rounds.
round_even() { awk -v v="$1" 'BEGIN { f = int(v); d = v - f; if (d > 0.5 || (d == 0.5 && f % 2)) f++; print f }'; }
dev() { round_even "$(calc "$1 * $f")"; }  # logical pixels at 96 dpi -> device pixels here

start_server() {  # dpi
  local n=120
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset -dpi "$1" >"$work/xvfb.log" 2>&1 &
  server=$!
  pids+=($server)
  export DISPLAY=":$n"
  for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  # What a desktop does to tell programs the screen's density.
  echo "Xft.dpi: $1" | xrdb -nocpp -merge
}

wait_for_window() {  # width height
  local id
  for _ in $(seq 1 100); do
    for id in $(xdotool search --onlyvisible --name '^RZ77$' 2>/dev/null); do
      eval "$(xdotool getwindowgeometry --shell "$id")"
      [ "$WIDTH $HEIGHT" = "$1 $2" ] && return 0
    done
    sleep 0.1
  done
  return 1
}

received_since() { tail -n +"$1" "$work/received"; }
expect_message() {  # pattern, what
  for _ in $(seq 1 30); do received_since "$mark" | grep -q " $1\$" && return 0; sleep 0.1; done
  fail "no $2 ($1)"
}
mark_messages() { mark=$(($(wc -l <"$work/received") + 1)); }

drag() {  # button from-x from-y to-device-x: logical start, device end relative to the window
  xdotool mousemove $((X + $(dev "$2"))) $((Y + $(dev "$3"))) mousedown "$1"
  xdotool mousemove $((X + $4)) $((Y + $(dev "$3")))
  xdotool mouseup "$1"
}
click() { xdotool mousemove $((X + $(dev "$1"))) $((Y + $(dev "$2"))) click 1; }

# Landmarks of the 96 dpi picture (x y w h): logo, exit key, note letter, strings, VOLUME bar,
# PLAY, START, the tempo display, the knob on its track, OPEN.
landmarks=("8 6 70 24" "174 18 19 17" "34 68 31 25" "120 44 64 60" "28 114 64 14"
  "20 152 41 21" "20 188 41 21" "136 188 52 20" "56 208 30 16" "133 258 50 16")

compare_landmarks() {
  local big="$work/shot-$mode.png" ref="$work/ref-$mode.png" margin=3 lx ly lw lh sx sy sw sh at
  convert "$work/shot-96.png" -filter Triangle -resize "$(calc "$f * 100")%" "$ref"
  for box in "${landmarks[@]}"; do
    read -r lx ly lw lh <<<"$box"
    sx=$(dev "$lx") sy=$(dev "$ly") sw=$(dev "$lw") sh=$(dev "$lh")
    convert "$ref" -crop "${sw}x${sh}+${sx}+${sy}" +repage "$work/small.png"
    convert "$big" -crop "$((sw + 2 * margin))x$((sh + 2 * margin))+$((sx - margin))+$((sy - margin))" \
      +repage "$work/search.png"
    # compare's status only says the pictures differ, as they may by a little.
    at=$(compare -metric RMSE -subimage-search "$work/search.png" "$work/small.png" null: 2>&1 || true)
    at=$(echo "$at" | sed -n 's/.*@ \([0-9]*\),\([0-9]*\).*/\1 \2/p')
    read -r fx fy <<<"$at"
    [ $((fx - margin)) -ge -1 ] && [ $((fx - margin)) -le 1 ] && [ $((fy - margin)) -ge -1 ] &&
      [ $((fy - margin)) -le 1 ] || fail "landmark '$box' is off by $((fx - margin)),$((fy - margin))"
  done
}

run_mode() {  # mode dpi scale
  mode=$1
  local dpi=$2 scale=$3 app width height
  f=$(calc "$dpi / 96 * $scale")
  start_server "$dpi"
  # The window is 3090 x 4605 twips: 206 x 307 logical pixels, which Qt scales to the screen.
  width=$(calc "int(206 * $f + 0.5)")
  height=$(calc "int(307 * $f + 0.5)")
  QT_SCALE_FACTOR=$scale "$work/rz77" >"$work/rz77-$mode.log" 2>&1 &
  app=$!
  pids+=($app)
  wait_for_window "$width" "$height" || fail "no ${width}x${height} main window"
  sleep 0.7
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$work/shot-$mode.png"
  [ "$mode" = 96 ] || compare_landmarks

  mark_messages
  click 146 76  # the 4th string, D
  expect_message "90 32 7f" "note-on of the 4th string"
  # The VOLUME bar starts 30 pixels in; its width in twips sets the velocity (1/8 a twip). Qt
  # hands widgets the pointer in whole logical pixels of 15 twips.
  local to=$(dev 78) velocity
  drag 1 35 121 "$to"
  velocity=$(round_even "$(calc "(int($to / $f + 0.5) - 30) * 15 * 0.125")")
  mark_messages
  click 40 162  # PLAY
  expect_message "$(printf '90 32 %02x' "$velocity")" "note-on at velocity $velocity"
  # The knob's left edge to 1620 twips: 120 beats a minute, a click every 500 ms.
  drag 1 64 217 "$(dev 108)"
  mark_messages
  click 40 198  # START
  for _ in $(seq 1 40); do
    [ "$(received_since "$mark" | grep -c ' 9a 7f ')" -ge 4 ] && break
    sleep 0.1
  done
  # The tempo is what the slider set: a click that once never reached the receiver on a loaded
  # machine (seen once in CI, not reproduced; most likely a JACK cycle the receiver missed)
  # leaves a gap of two beats, not another tempo.
  received_since "$mark" | grep ' 9a 7f ' | head -n 4 | awk '
    NR == 1 { first = $1 }
    NR > 1 { beats += int(($1 - previous) / 0.5 + 0.5) }
    { previous = $1 }
    END {
      span = beats ? (previous - first) / beats : 0
      if (NR < 4 || beats > 4 || span < 0.485 || span > 0.515) { print "interval " span; exit 1 }
    }' || fail "the metronome does not click at 120 beats a minute"

  kill "$app"
  wait "$app" 2>/dev/null || true
  kill "$server"
  wait "$server" 2>/dev/null || true
}

run_mode 96 96 1
run_mode 120 120 1
run_mode 144 144 1
run_mode scale2 96 2
echo PASS
