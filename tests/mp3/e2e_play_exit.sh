#!/usr/bin/env bash
# The real program on a real X server and sound server: OPEN shows the file dialog, the chosen
# MP3 plays into the sound server after PLAY, and the exit button ends the program with status
# 0 while it plays.
# Usage: e2e_play_exit.sh PATH_TO_RZ77 (needs DISPLAY, PulseAudio, lame and xdotool).
set -euo pipefail
program=$1
work=$(mktemp -d)
app=""
trap '[ -z "$app" ] || kill $app 2>/dev/null || true; rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "$0")/../support/e2e.sh"
rz77_require '[ -n "${DISPLAY:-}" ]' 'pactl info' -- a display and a sound server

playing_streams() {
  pactl list sink-inputs | grep -c "Corked: no" || true
}

# Five seconds of noise is enough to be heard playing.
head -c 441000 /dev/urandom |
  lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m m \
    --id3v1-only --tt Tone --ta RZ77 --tl Takes - "$work/noise.mp3"

"$program" >"$work/log" 2>&1 &
app=$!

main=""
for _ in $(seq 1 100); do
  main=$(xdotool search --onlyvisible --name '^RZ77$' 2>/dev/null | head -n 1) || true
  if [ -n "$main" ]; then
    eval "$(xdotool getwindowgeometry --shell "$main")"
    [ "$WIDTH $HEIGHT" = "206 307" ] && break
  fi
  main=""
  sleep 0.1
done
[ -n "$main" ] || fail "no main window"
x=$X y=$Y
before=$(playing_streams)

# OPEN at (134, 260), 53 x 13 pixels.
xdotool mousemove $((x + 160)) $((y + 266)) click 1
dialog=""
for _ in $(seq 1 50); do
  dialog=$(xdotool search --onlyvisible --name '^Open MP3 file$' 2>/dev/null | head -n 1) || true
  [ -n "$dialog" ] && break
  sleep 0.1
done
[ -n "$dialog" ] || fail "OPEN showed no file dialog"
sleep 0.3
xdotool type --delay 5 "$work/noise.mp3"
xdotool key Return
sleep 0.5
xdotool search --onlyvisible --name '^Open MP3 file$' >/dev/null 2>&1 && fail "the dialog stayed open"

# PLAY at (20, 260), 43 x 13 pixels.
xdotool mousemove $((x + 41)) $((y + 266)) click 1
for _ in $(seq 1 30); do
  [ "$(playing_streams)" -gt "$before" ] && break
  sleep 0.1
done
[ "$(playing_streams)" -gt "$before" ] || fail "PLAY started no stream in the sound server"

# The exit button at (176, 20), 15 x 13 pixels, while the file plays.
xdotool mousemove $((x + 183)) $((y + 26)) click 1
for _ in $(seq 1 50); do
  kill -0 $app 2>/dev/null || break
  sleep 0.1
done
kill -0 $app 2>/dev/null && fail "exit did not end the program"
wait $app && status=0 || status=$?
app=""
[ $status -eq 0 ] || { cat "$work/log"; fail "exit status $status while playing"; }
echo "PASS"
