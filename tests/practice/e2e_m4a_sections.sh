#!/usr/bin/env bash
# The real program on a real X server and sound server, driven by the keys: an M4A opened with the
# track page's OPEN gets two sections; after a restart it is opened from the recent tracks, its
# second section chosen by number and played, and the null sink hears that section's pitch.
# Usage: e2e_m4a_sections.sh PATH_TO_RZ77 (needs DISPLAY, PulseAudio, ffmpeg, perl and xdotool).
set -euo pipefail
program=$1
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "$0")/../support/e2e.sh"
rz77_require '[ -n "${DISPLAY:-}" ]' 'pactl info' -- a display and a sound server

mkdir "$work/app" && cp "$program" "$(dirname "$program")/genmidi.rz" "$work/app/"
conf=$work/app/practice.conf
printf '[panel]\nopen=true\n' >"$conf"

# 440 Hz for 4 s, then 660 Hz for 4 s: the first section lies in the one, the second in the other.
ffmpeg -loglevel error -f lavfi -i sine=frequency=440:duration=4 -f lavfi \
  -i sine=frequency=660:duration=4 -filter_complex '[0][1]concat=n=2:v=0:a=1,volume=2' \
  -c:a aac -b:a 128k "$work/tone.m4a"
pacat --record -d nullsink.monitor --format=s16le --rate=48000 --channels=1 --latency-msec=20 \
  >"$work/sink.raw" &
pids+=($!)

# Waits up to 20 s for the command $1 to succeed; fails with $2 if it does not.
wait_until() {
  for _ in $(seq 1 200); do eval "$1" >/dev/null 2>&1 && return 0; sleep 0.1; done
  fail "$2"
}
start_program() {
  "$work/app/rz77" >>"$work/log" 2>&1 &
  app=$!
  pids+=($app)
  rz77_wait_for_main_window 100
  wait_until 'panel=$(xdotool search --onlyvisible --name "^RZ77 Practice$" | head -n 1)
    [ -n "$panel" ]' "the practice panel is not open"
}
keys() { xdotool windowfocus --sync "$panel"; xdotool key --delay 50 "$@"; }
# The page writes the loop to practice.conf once the track is in the player.
loop_is() {
  perl -ne '$x = $1 if /^a=(.*)/; $y = $1 if /^b=(.*)/;
    END { exit !(abs($x - '"$1"') < 0.01 && abs($y - '"$2"') < 0.01) }' "$conf"
}
sections_are() { [ "$(cat "$work"/app/tracks/*.sections | grep -c '	Section ')" = "$1" ]; }

start_program
keys o
wait_until 'xdotool search --onlyvisible --name "^Open a backing track$"' "OPEN showed no dialog"
sleep 0.3
xdotool type --delay 5 "$work/tone.m4a"
xdotool key Return
wait_until "grep -qF 'file=$work/tone.m4a' '$conf'" "the track page does not show the M4A"
# The first section from 1 s to 3 s, added on the SECTIONS page (Ctrl+Page Up).
keys Home shift+Right bracketleft shift+Right shift+Right bracketright
wait_until "loop_is 1 3" "the loop is not 1-3 s"
keys ctrl+Prior a
wait_until "sections_are 1" "no section added"
# The second from 5 s to 7 s: the loop off (a move goes round a loop that is on), B at 7 s, A at
# 5 s. Right is 5 s on; a loop set while the track stands still puts it at A.
keys ctrl+Next backslash Home Right shift+Right bracketright Right shift+Left bracketleft
wait_until "loop_is 5 7" "the loop is not 5-7 s"
keys ctrl+Prior a
wait_until "sections_are 2" "no second section added"
keys 1  # the first chosen last, to be looped at the next start unless the second is chosen
wait_until "loop_is 1 3" "the first section was not chosen"
xdotool mousemove $((X + 183)) $((Y + 26)) click 1  # the main window's exit button
wait_until "! kill -0 $app" "the exit button did not end the program"

# On the SECTIONS page, where it was left, O opens the latest track (FFmpeg loads in the background,
# the track is in a moment after), 2 chooses its second section, PLAY at (41, 266) plays it.
start_program
keys o
wait_until "grep -q libavformat /proc/$app/maps" "FFmpeg was not loaded for the M4A"
sleep 3
keys 2
wait_until "loop_is 5 7" "the second section was not chosen"
start=$(stat -c %s "$work/sink.raw")
xdotool mousemove $((X + 41)) $((Y + 266)) click 1
sleep 4

# From 0.5 s after PLAY, 3 s (1.5 passes): each half second's pitch from the median time between
# its rising zero crossings, which a seam or a dropout on a loaded machine leaves where it is.
perl -e '
  open my $f, "<", $ARGV[1]; seek $f, $ARGV[0], 0; read $f, my $heard, 3 * 96000;
  my @s = unpack("s<*", $heard);
  die "recorded " . scalar(@s) . " samples\n" if @s < 3 * 48000;
  for (my $from = 0; $from + 24000 <= @s; $from += 24000) {
    my @up = map { $_ - 1 + $s[$_ - 1] / ($s[$_ - 1] - $s[$_]) }
      grep { $s[$_ - 1] < 0 && $s[$_] >= 0 } $from + 1 .. $from + 23999;
    my @periods = sort { $a <=> $b } map { $up[$_] - $up[$_ - 1] } 1 .. $#up;
    my $pitch = @periods > 10 ? 48000 / $periods[@periods / 2] : 1;
    die "heard $pitch Hz, not 660 Hz\n" if abs(1200 * log($pitch / 660) / log(2)) > 50;
  }
' $((start + 48000)) "$work/sink.raw" || fail "the second section was not heard"
echo "PASS"
