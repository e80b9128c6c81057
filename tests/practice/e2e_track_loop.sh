#!/usr/bin/env bash
# The real program on a real X server and sound server: an MP3 opened in the MP3 panel, slowed
# to 50 % and looped with the practice panel's keys, is heard at the null sink at its own pitch,
# going round the loop with no click and no gap at the seam.
# Usage: e2e_track_loop.sh PATH_TO_RZ77 (needs DISPLAY, PulseAudio, lame, perl and xdotool).
set -euo pipefail
program=$1
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "$0")/../support/e2e.sh"
rz77_require '[ -n "${DISPLAY:-}" ]' 'pactl info' -- a display and a sound server

# A program of its own, so that its practice.conf is this test's.
mkdir "$work/app"
cp "$program" "$(dirname "$program")/genmidi.rz" "$work/app/"
printf '[panel]\nopen=true\n' >"$work/app/practice.conf"

# 440 Hz for 3 s, then 660 Hz: a loop in the first part never sounds the second.
perl -e 'print pack("s<*", map { int(12000 * sin(2 * 3.14159265358979 * ($_ < 132300 ? 440 : 660)
         * $_ / 44100)) } 0 .. 264599)' |
  lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m m - "$work/tone.mp3"

pacat --record -d nullsink.monitor --format=s16le --rate=48000 --channels=1 --latency-msec=20 \
  >"$work/sink.raw" &
pids+=($!)
"$work/app/rz77" >"$work/log" 2>&1 &
pids+=($!)
rz77_wait_for_main_window 100
x=$X y=$Y

# OPEN at (134, 260) on the main window; the file dialog takes the path.
xdotool mousemove $((x + 160)) $((y + 266)) click 1
for _ in $(seq 1 50); do
  xdotool search --onlyvisible --name '^Open MP3 file$' >/dev/null 2>&1 && break
  sleep 0.1
done
sleep 0.3
xdotool type --delay 5 "$work/tone.mp3"
xdotool key Return
sleep 1

panel=$(xdotool search --onlyvisible --name '^RZ77 Practice$' | head -n 1) || true
[ -n "$panel" ] || fail "the practice panel is not open"
keys() { xdotool windowfocus --sync "$panel"; xdotool key --delay 20 "$@"; }

# PLAY at (20, 260), then 50 % at once; A after a second, B two seconds later (a second of
# the track at half speed).
xdotool mousemove $((x + 41)) $((y + 266)) click 1
keys minus minus minus minus minus minus minus minus minus minus
sleep 1
keys bracketleft
sleep 2
keys bracketright
start=$(stat -c %s "$work/sink.raw")
sleep 7

# Six seconds from half a second after B: three passes of the loop.
tail -c +$((start + 48000 + 1)) "$work/sink.raw" >"$work/after.raw"
head -c $((6 * 96000)) "$work/after.raw" >"$work/heard.raw"
perl -e '
  local $/; my @s = unpack("s<*", <STDIN>);
  die "recorded " . scalar(@s) . " samples\n" if @s < 6 * 48000;
  my ($peak, @steps, $quiet, $longest) = (0);
  for my $i (1 .. $#s) {
    $peak = abs($s[$i]) if abs($s[$i]) > $peak;
    push @steps, abs($s[$i] - $s[$i - 1]);
  }
  die "nothing heard\n" if $peak < 2000;
  for my $v (@s) {
    $quiet = abs($v) < 0.05 * $peak ? $quiet + 1 : 0;
    $longest = $quiet if $quiet > $longest;
  }
  my @sorted = sort { $a <=> $b } @steps;
  my ($largest, $tone) = ($sorted[-1], $sorted[int(0.999 * $#sorted)]);
  # The pitch of each half second from its rising zero crossings.
  my @pitches;
  for (my $from = 0; $from + 24000 <= @s; $from += 24000) {
    my @up;
    for my $i ($from + 1 .. $from + 23999) {
      push @up, $i - 1 + $s[$i - 1] / ($s[$i - 1] - $s[$i]) if $s[$i - 1] < 0 && $s[$i] >= 0;
    }
    push @pitches, 48000 * $#up / ($up[-1] - $up[0]);
  }
  printf "pitches %s Hz; largest step %d against the tone'\''s %d; longest quiet %d samples\n",
    join(" ", map { sprintf "%.1f", $_ } @pitches), $largest, $tone, $longest;
  for my $p (@pitches) { die "heard $p Hz, not 440 Hz\n" if abs(1200 * log($p / 440) / log(2)) > 10 }
  die "a click at the seam\n" if $largest > 1.3 * $tone;
  die "a gap of $longest samples\n" if $longest > 96;
' <"$work/heard.raw" || fail "the loop at 50 % was not heard whole at its pitch"
echo "PASS"
