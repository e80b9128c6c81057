#!/usr/bin/env bash
# The real program on Xvfb with a JACK receiver: SETUP, the receiver's port chosen with the mouse
# and keyboard, a sound typed, channel 3, OK; the receiver hears the choices and the settings file
# holds them; a restart opens that port and sends the stored sound.
# Usage: e2e_setup_jack.sh PATH_TO_RZ77 PATH_TO_PROBE PATH_TO_RECEIVER
set -euo pipefail
program=$1 probe=$2 receiver=$3
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill $p 2>/dev/null || true; done; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; cat "$work/received" 2>/dev/null; cat "$work/rz77.log" 2>/dev/null; exit 1; }

source "$(dirname "$0")/../support/e2e.sh"
rz77_require '[ -n "${DISPLAY:-}" ]' jack_lsp -- a display and a JACK server

rz77_start_receiver "$receiver" "$probe"

# The first use: no settings file, so the program starts on the built-in synthesizer.
cp "$program" "$(dirname "$program")/genmidi.rz" "$work/"

window_of_width() {  # name width -> window id
  xdotool search --onlyvisible --name "$1" 2>/dev/null | while read -r w; do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    [ "$WIDTH" = "$2" ] && echo "$w"
  done | head -n 1
}
wait_for_window() {  # name width
  local id=""
  for _ in $(seq 1 80); do
    id=$(window_of_width "$1" "$2") || true
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
# Waits until the receiver has printed the line $2 after its first $1 lines.
wait_for_message() {
  for _ in $(seq 1 30); do
    tail -n +$(($1 + 1)) "$work/received" | grep -qx "$2" && return 0
    sleep 0.1
  done
  return 1
}
received_lines() { wc -l <"$work/received"; }
start_program() {
  "$work/rz77" >"$work/rz77.log" 2>&1 &
  app=$!
  pids+=($app)
  main=$(wait_for_window '^RZ77$' 206) || fail "no main window"
  eval "$(xdotool getwindowgeometry --shell "$main")"
  mainX=$X mainY=$Y
}
exit_program() {
  xdotool mousemove $((mainX + 183)) $((mainY + 26)) click 1
  for _ in $(seq 1 50); do kill -0 $app 2>/dev/null || break; sleep 0.1; done
  kill -0 $app 2>/dev/null && fail "exit did not end the program"
  wait $app || fail "the program ended with status $?"
}

start_program
# SETUP at (144, 156), 43 x 15 pixels.
xdotool mousemove $((mainX + 165)) $((mainY + 163)) click 1
setup=$(wait_for_window '^RZ77 Setup$' 319) || fail "no setup dialog"
eval "$(xdotool getwindowgeometry --shell "$setup")"

# The device list's arrow opens it on its first entry, the built-in synthesizer; the receiver's
# port is entry device + 1.
xdotool mousemove $((X + 135)) $((Y + 60)) click 1
sleep 0.5
for _ in $(seq 0 "$device"); do xdotool key Down; done
xdotool key Return
sleep 0.5

before=$(received_lines)
xdotool mousemove $((X + 200)) $((Y + 60)) click 1
xdotool key ctrl+a
xdotool type --delay 30 Trumpet
xdotool key Return
wait_for_message "$before" 'c0 38' || fail "choosing Trumpet sent no program change 56 on channel 1"
tail -n +$((before + 1)) "$work/received" | grep -qx 'b0 00 00' || fail "no bank select on channel 1"

xdotool mousemove $((X + 110)) $((Y + 86)) click 1
xdotool key ctrl+a
xdotool type 3
before=$(received_lines)
# OK at (218, 86), 23 x 15 pixels.
xdotool mousemove $((X + 229)) $((Y + 93)) click 1
wait_for_message "$before" 'c2 38' || fail "OK sent no program change 56 on channel 3"
tail -n +$((before + 1)) "$work/received" | grep -qx 'b2 00 00' || fail "OK sent no bank select on channel 3"
for _ in $(seq 1 30); do [ -z "$(window_of_width '^RZ77 Setup$' 319)" ] && break; sleep 0.1; done
[ -z "$(window_of_width '^RZ77 Setup$' 319)" ] || fail "OK left the dialog open"
expected=$(printf '[device]\r\nid=%s\r\n[sound]\r\nid=56\r\n[channel]\r\nid=3\r\n' "$device")
[ "$(cat "$work/rz77.rz")" = "$expected" ] || fail "settings file holds $(od -c "$work/rz77.rz")"
exit_program

before=$(received_lines)
start_program
for message in 'b2 00 00' 'c2 38' 'ba 00 00' 'ca 7f'; do
  wait_for_message "$before" "$message" || fail "the restart did not send $message to the port"
done
exit_program
echo PASS
