#!/usr/bin/env bash
# The real program on a real X server and sound server: a song (a kick on every beat at 120 BPM,
# louder on the one, over a sustained chord) is opened and analysed, bars 3-4 are looped with the
# practice panel's 2 key at 50 % with the count-in on, and at the null sink the count-in's next
# one falls where the track comes in again: on the loop's first downbeat, at the grid's tempo
# rather than the 90 BPM typed. The bars are the ones the analysis found, whatever their length.
# Usage: e2e_grid_count_in.sh PATH_TO_RZ77 (needs DISPLAY, PulseAudio, lame, perl and xdotool).
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

perl -e '
  my ($rate, $pi) = (44100, 3.14159265358979);
  for my $i (0 .. 40 * $rate - 1) {
    my $t = $i / $rate;
    my $u = $t - 0.5 * int($t / 0.5);
    my $kick = (int($t / 0.5) % 4 == 0 ? 1.0 : 0.6) * exp(-$u / 0.06)
               * sin(2 * $pi * (60 + 80 * exp(-$u / 0.02)) * $u);
    my $chord = 0;
    $chord += 0.08 * sin(2 * $pi * $_ * $t) for 220, 261.63, 329.63;
    print pack("s<", int(12000 * ($kick + $chord)));
  }' | lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m m - "$work/song.mp3"

pacat --record -d nullsink.monitor --format=s16le --rate=48000 --channels=1 --latency-msec=20 \
  >"$work/sink.raw" &
pids+=($!)
"$work/app/rz77" >"$work/log" 2>&1 &
pids+=($!)
rz77_wait_for_main_window 100
rz77_open_mp3 "$work/song.mp3"

# The analysis is kept beside practice.conf once it is done.
for _ in $(seq 1 300); do
  grid=$(ls "$work"/app/tracks/*.grid 2>/dev/null | head -n 1) || true
  [ -n "$grid" ] && break
  sleep 0.1
done
[ -n "$grid" ] || fail "no beat grid after 30 s"

# A whole second inside bar 3, from the grid: its first downbeat plus four to six seconds.
read -r per bar3 bar5 < <(perl -ne '
  if (/^grid (\d+) (\d+) (\d+)/) { ($per, $one, $n) = ($1, $2, $3); @b = (); next }
  push @b, $1 if defined $n && @b < $n && /^(-?[\d.]+)$/;
  END { print "$per $b[$one + 2 * $per] $b[$one + 4 * $per]\n" }' "$grid")
# The count-in's beat at 50 %: the grid's over those two bars, twice as long.
beat=$(perl -e "print 1000 * ($bar5 - $bar3) / (2 * $per) / 0.5")
second=$(perl -e "use POSIX; print ceil($bar3 + 0.25)")

panel=$(xdotool search --onlyvisible --name '^RZ77 Practice$' | head -n 1) || true
[ -n "$panel" ] || fail "the practice panel is not open"
keys() { xdotool windowfocus --sync "$panel"; xdotool key --delay 20 "$@"; }
keys Home
for _ in $(seq 1 $((second / 5))); do keys Right; done
for _ in $(seq 1 $((second % 5))); do keys shift+Right; done
# A typed tempo of 90 that the grid's own must override.
keys b ctrl+a 9 0 Return
keys 2 c minus minus minus minus minus minus minus minus minus minus
sleep 0.5
a=$(sed -n 's/^a=//p' "$work/app/practice.conf")
b=$(sed -n 's/^b=//p' "$work/app/practice.conf")
perl -e "exit(abs($a - $bar3) < 0.001 && abs($b - $bar5) < 0.001 ? 0 : 1)" ||
  fail "the loop is $a-$b s, not bars 3-4 ($bar3-$bar5 s)"
grep -q '^tempo=90$' "$work/app/practice.conf" || fail "the typed tempo is not 90"

# PLAY: the first pass goes on from the play head; then each pass is counted in. Two passes of
# 2 bars at 50 % and their count-ins take 24 s.
start=$(stat -c %s "$work/sink.raw")
xdotool mousemove $((X + 41)) $((Y + 266)) click 1
sleep 24
tail -c +$((start + 1)) "$work/sink.raw" >"$work/heard.raw"
[ -n "${RZ77_KEEP_HEARD:-}" ] && cp "$work/heard.raw" "$RZ77_KEEP_HEARD"
perl -e '
  my $gridBeat = shift;
  local $/; my @s = unpack("s<*", <STDIN>);
  # A 1 ms level; an onset is where it rises above a tenth of the loudest after 150 ms below.
  my @level;
  for (my $i = 0; $i + 48 <= @s; $i += 48) {
    my $e = 0; $e += $_ * $_ for @s[$i .. $i + 47];
    push @level, sqrt($e / 48);
  }
  my $top = (sort { $a <=> $b } @level)[-1];
  die "nothing heard\n" if $top < 500;
  my ($quiet, @onsets) = (0);
  for my $ms (0 .. $#level) {
    if ($level[$ms] < 0.1 * $top) { $quiet++; next }
    push @onsets, $ms if $quiet >= 150;
    $quiet = 0;
  }
  # A click dies away within 50 ms; the track sounds on.
  my @track = map { my $at = $_; (grep { $level[$_] > 0.02 * $top } $at + 50 .. $at + 60) > 0 }
    @onsets;
  # The count-in (a bar of the grid, at 60 BPM for a beat of 120 at 50 %): its first click
  # follows the last pass with no pause, so its other clicks, a second apart, and then the track.
  my $checked = 0;
  for my $i (1 .. $#onsets) {
    next unless $track[$i] && !$track[$i - 1] && $i >= 2 && !$track[$i - 2];
    my $first = $i - 1;
    $first-- while $first > 0 && !$track[$first - 1];
    my @c = @onsets[$first .. $i - 1];
    my $beat = ($c[-1] - $c[0]) / $#c;
    my $one = $c[-1] + $beat;
    # The track comes in at the start of the loop, on the downbeat of the grid: the first sound
    # after the silence that follows the last click, faded in over 5 ms.
    my $in = $c[-1] + 100;
    $in++ while $level[$in] < 0.005 * $top;
    printf "count-in to %.3f s: clicks %.0f ms apart; the track comes in %+.0f ms from its next one\n",
      $one / 1000, $beat, $in - $one;
    die "the count-in is not at the tempo of the grid ($gridBeat ms)\n" if abs($beat - $gridBeat) > 3;
    die "the loop did not come in on the count-in'\''s one\n" if abs($in - $one) > 5;
    $checked++;
  }
  die "no count-in heard\n" if $checked == 0;
' "$beat" <"$work/heard.raw" || fail "the count-in's one is not on the loop's first downbeat"
echo "PASS"
