#!/usr/bin/env bash
# The real program on a real X server and sound server, driven by the keys: an M4A (AAC) is opened
# with the track page's OPEN, two sections are marked and added on the SECTIONS page, and the
# program is closed. Started again, it opens the track from its recent tracks, the second section
# is chosen by its number and played: the null sink hears the second section's pitch, not the
# first's.
# Usage: e2e_m4a_sections.sh PATH_TO_RZ77 (needs DISPLAY, PulseAudio, ffmpeg, perl and xdotool).
set -euo pipefail
program=$1
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "$0")/../support/e2e.sh"
rz77_require '[ -n "${DISPLAY:-}" ]' 'pactl info' -- a display and a sound server

mkdir "$work/app"
cp "$program" "$(dirname "$program")/genmidi.rz" "$work/app/"
printf '[panel]\nopen=true\n' >"$work/app/practice.conf"
conf=$work/app/practice.conf

# 440 Hz for 4 s, then 660 Hz for 4 s: the first section lies in the one, the second in the other.
ffmpeg -loglevel error -f lavfi -i sine=frequency=440:duration=4 -f lavfi \
  -i sine=frequency=660:duration=4 -filter_complex '[0][1]concat=n=2:v=0:a=1,volume=2' \
  -c:a aac -b:a 128k "$work/tone.m4a"

pacat --record -d nullsink.monitor --format=s16le --rate=48000 --channels=1 --latency-msec=20 \
  >"$work/sink.raw" &
pids+=($!)

start_program() {
  "$work/app/rz77" >>"$work/log" 2>&1 &
  app=$!
  pids+=($app)
  rz77_wait_for_main_window 100
  panel=""
  for _ in $(seq 1 50); do
    panel=$(xdotool search --onlyvisible --name '^RZ77 Practice$' 2>/dev/null | head -n 1) || true
    [ -n "$panel" ] && break
    sleep 0.1
  done
  [ -n "$panel" ] || fail "the practice panel is not open"
}
keys() { xdotool windowfocus --sync "$panel"; xdotool key --delay 50 "$@"; }
# FFmpeg's libraries are loaded in the background when the first M4A is chosen; the track is in
# the player a moment after.
wait_for_ffmpeg() {
  for _ in $(seq 1 200); do
    grep -q libavformat "/proc/$app/maps" 2>/dev/null && { sleep 3; return 0; }
    sleep 0.1
  done
  fail "FFmpeg was not loaded for the M4A"
}
# The track page keeps the name of the track it shows.
wait_for_track() {
  for _ in $(seq 1 200); do
    grep -qF "file=$work/tone.m4a" "$conf" && return 0
    sleep 0.1
  done
  fail "the track page does not show the M4A"
}
# Waits for practice.conf to keep the loop $1-$2 (seconds), which the page writes once the track
# is in the player.
wait_for_loop() {
  for _ in $(seq 1 100); do
    perl -ne 'BEGIN { ($wantA, $wantB) = splice @ARGV, 0, 2 } $x = $1 if /^a=(.*)/; $y = $1 if /^b=(.*)/;
      END { exit !(abs($x - $wantA) < 0.01 && abs($y - $wantB) < 0.01) }' "$1" "$2" "$conf" && return 0
    sleep 0.1
  done
  fail "the loop is $(grep -E '^(a|b)=' "$conf" | tr '\n' ' ')not $1-$2 s"
}
# Waits for the track's sections file to hold $1 sections and sets sections to its name.
wait_for_sections() {
  for _ in $(seq 1 50); do
    sections=$(ls "$work"/app/tracks/*.sections 2>/dev/null | head -n 1) || true
    [ -n "$sections" ] && [ "$(grep -c '	Section ' "$sections")" = "$1" ] && return 0
    sleep 0.1
  done
  fail "the sections file does not hold $1 sections"
}

start_program
# The track page's OPEN (O) shows the file dialog, which takes the path.
keys o
dialog=""
for _ in $(seq 1 50); do
  dialog=$(xdotool search --onlyvisible --name '^Open a backing track$' 2>/dev/null | head -n 1) || true
  [ -n "$dialog" ] && break
  sleep 0.1
done
[ -n "$dialog" ] || fail "OPEN showed no file dialog"
sleep 0.3
xdotool type --delay 5 "$work/tone.m4a"
xdotool key Return
wait_for_track

# The first section from 1 s to 3 s (Shift+Right is a second on), added on the SECTIONS page
# (Ctrl+Page Up from the track page).
keys Home shift+Right bracketleft shift+Right shift+Right bracketright
wait_for_loop 1 3
keys ctrl+Prior a
wait_for_sections 1
# The second from 5 s to 7 s: the loop off (a move goes round a loop that is on), B at 7 s, then
# A at 5 s. Right is 5 s on; a loop set while the track stands still puts it at A.
keys ctrl+Next backslash Home Right shift+Right bracketright Right shift+Left bracketleft
wait_for_loop 5 7
keys ctrl+Prior a
wait_for_sections 2
# The first chosen last, so that the next start would loop it.
keys 1
wait_for_loop 1 3

# The exit button at (183, 26) on the main window.
xdotool mousemove $((X + 183)) $((Y + 26)) click 1
for _ in $(seq 1 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "the exit button did not end the program"

# Started again on the SECTIONS page, where it was left: O opens the most recent track, 2 chooses
# its second section, PLAY at (41, 266) on the main window plays it.
start_program
keys o
wait_for_ffmpeg
keys 2
wait_for_loop 5 7
start=$(stat -c %s "$work/sink.raw")
xdotool mousemove $((X + 41)) $((Y + 266)) click 1
sleep 4

# Three seconds from half a second after PLAY: one and a half passes of the 2 s section.
tail -c +$((start + 48000 + 1)) "$work/sink.raw" >"$work/after.raw"
head -c $((3 * 96000)) "$work/after.raw" >"$work/heard.raw"
perl -e '
  local $/; my @s = unpack("s<*", <STDIN>);
  die "recorded " . scalar(@s) . " samples\n" if @s < 3 * 48000;
  my $peak = 0;
  for (@s) { $peak = abs($_) if abs($_) > $peak }
  die "nothing heard\n" if $peak < 2000;
  # The pitch of each half second from its rising zero crossings.
  my @pitches;
  for (my $from = 0; $from + 24000 <= @s; $from += 24000) {
    my @up;
    for my $i ($from + 1 .. $from + 23999) {
      push @up, $i - 1 + $s[$i - 1] / ($s[$i - 1] - $s[$i]) if $s[$i - 1] < 0 && $s[$i] >= 0;
    }
    push @pitches, @up > 1 ? 48000 * $#up / ($up[-1] - $up[0]) : 0;
  }
  printf "pitches %s Hz\n", join(" ", map { sprintf "%.1f", $_ } @pitches);
  for my $p (@pitches) {
    die "heard $p Hz, not the second section'\''s 660 Hz\n"
      if $p <= 0 || abs(1200 * log($p / 660) / log(2)) > 10;
  }
' <"$work/heard.raw" || fail "the second section was not heard"
echo "PASS"
