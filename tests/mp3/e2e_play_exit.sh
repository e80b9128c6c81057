#!/usr/bin/env bash
# The real program on a real X server and sound server: OPEN shows the file dialog, the chosen
# MP3 is heard at the sound server's null sink after PLAY, and the exit button ends the program
# with status 0 while it plays.
# Usage: e2e_play_exit.sh PATH_TO_RZ77 (needs DISPLAY, PulseAudio, lame and xdotool).
set -euo pipefail
program=$1
work=$(mktemp -d)
app=""
recorder=""
trap '[ -z "$app" ] || kill $app 2>/dev/null || true; [ -z "$recorder" ] || kill $recorder
      rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "$0")/../support/e2e.sh"
rz77_require '[ -n "${DISPLAY:-}" ]' 'pactl info' -- a display and a sound server

# The loudest sample recorded since the given byte offset of the recording.
peak_since() {
  tail -c +$(($1 + 1)) "$work/sink.raw" | od -An -v -td2 -w2 |
    awk '{ v = $1 < 0 ? -$1 : $1; if (v > m) m = v } END { print m + 0 }'
}

# Five seconds of noise is enough to be heard playing.
head -c 441000 /dev/urandom |
  lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m m \
    --id3v1-only --tt Tone --ta RZ77 --tl Takes - "$work/noise.mp3"

# An idle null sink drops its first monitor data: the recorder listens from the start.
pacat --record -d nullsink.monitor --format=s16le --rate=48000 --channels=1 --latency-msec=20 >"$work/sink.raw" &
recorder=$!
"$program" >"$work/log" 2>&1 &
app=$!

rz77_wait_for_main_window 100
x=$X y=$Y

rz77_open_mp3 "$work/noise.mp3"
sleep 0.5
xdotool search --onlyvisible --name '^Open MP3 file$' >/dev/null 2>&1 && fail "the dialog stayed open"

# PLAY at (20, 260), 43 x 13 pixels.
sleep 1
before=$(stat -c %s "$work/sink.raw")
[ "$(peak_since "$before")" -lt 300 ] || fail "the sink was not quiet before PLAY"
xdotool mousemove $((x + 41)) $((y + 266)) click 1
sleep 1
peak=$(peak_since "$before")
[ "$peak" -gt 3000 ] || fail "PLAY was not heard at the sink (peak $peak)"

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
