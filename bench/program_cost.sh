#!/usr/bin/env bash
# What the assembled program costs the machine: the real binary started as a user starts it, on a
# virtual display with a private PulseAudio null sink, driven with the mouse as a user drives it.
# Prints its memory after the start and after opening a five-minute track, the processor time
# of the program and of the sound server idle and with the metronome at 120 BPM, and how often
# the program's threads wake up. Figures from /proc.
# Usage: bench/program_cost.sh BUILD_DIR [SECONDS per measurement, 20 by default]
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=${2:-20}
source "$(dirname "$0")/../scripts/servers.sh"
work="$RZ77_RUNTIME/bench"
mkdir -p "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
source "$(dirname "$0")/../tests/support/e2e.sh"

rz77_start_xvfb
rz77_start_pulseaudio
server=${RZ77_PIDS[-1]}
ticks=$(getconf CLK_TCK)

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# Every thread's switches off the processor, each of which ends a wait or a preemption.
wakeups() { cat /proc/"$1"/task/*/status | awk '/ctxt_switches/ { n += $2 } END { print n }'; }
memory() {
  local rss anon largest
  rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$1/status")
  anon=$(awk '/^RssAnon/ { print $2 }' "/proc/$1/status")
  # The largest anonymous mapping: what one allocation keeps.
  largest=$(awk '/^[0-9a-f]+-[0-9a-f]+ / { anon = NF < 6 } /^Rss:/ { if (anon && $2 > m) m = $2 }
    END { print m + 0 }' "/proc/$1/smaps")
  printf '%-38s RSS %6.1f MB, anonymous %6.1f MB, largest anonymous mapping %5.1f MB\n' \
    "$2" "$(bc -l <<<"$rss / 1024")" "$(bc -l <<<"$anon / 1024")" "$(bc -l <<<"$largest / 1024")"
}
# Processor time of the program and the server over the given seconds, in % of one core.
cost() {
  local what=$1 app=$2 a0 s0 w0 a1 s1 w1
  a0=$( [ -n "$app" ] && cpu_ticks "$app" || echo 0); s0=$(cpu_ticks "$server")
  w0=$( [ -n "$app" ] && wakeups "$app" || echo 0)
  sleep "$seconds"
  a1=$( [ -n "$app" ] && cpu_ticks "$app" || echo 0); s1=$(cpu_ticks "$server")
  w1=$( [ -n "$app" ] && wakeups "$app" || echo 0)
  if [ -n "$app" ]; then
    printf '%-38s RZ77 %5.2f %% CPU, %6.1f wake-ups/s; sound server %5.2f %% CPU\n' "$what" \
      "$(bc -l <<<"100 * ($a1 - $a0) / $ticks / $seconds")" \
      "$(bc -l <<<"($w1 - $w0) / $seconds")" "$(bc -l <<<"100 * ($s1 - $s0) / $ticks / $seconds")"
  else
    printf '%-38s sound server %5.2f %% CPU\n' "$what" \
      "$(bc -l <<<"100 * ($s1 - $s0) / $ticks / $seconds")"
  fi
}

echo "$(nproc) processors, load average $(cut -d' ' -f1-3 /proc/loadavg) at the start; ${seconds} s per figure"
sleep 2
cost "no RZ77 running" ""

# Five minutes of a low tone with a little noise, as a user's track might be.
python3 - "$work/track.raw" <<'EOF'
import math, random, struct, sys
rate = 44100
second = b"".join(struct.pack("<h", int(8000 * math.sin(2 * math.pi * 110 * i / rate)
                                       + random.randint(-300, 300))) for i in range(rate))
open(sys.argv[1], "wb").write(second * 300)  # whole periods: the seconds join seamlessly
EOF
lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m m -b 128 "$work/track.raw" \
  "$work/track.mp3" 2>/dev/null
rm "$work/track.raw"

# The build tree's settings: as the program stood when the bench began, put back at the end.
settings="$build/src/rz77"
for file in rz77.rz practice.conf; do [ -e "$settings/$file" ] && cp "$settings/$file" "$work/$file.kept"; done
pids=()
restore() {
  rz77_stop_pids
  for file in rz77.rz practice.conf; do
    if [ -e "$work/$file.kept" ]; then cp "$work/$file.kept" "$settings/$file"; else rm -f "$settings/$file"; fi
  done
  rz77_stop_servers
}
trap restore EXIT

"$build/src/rz77/rz77" >"$work/rz77.log" 2>&1 &
app=$!
pids+=($app)
rz77_wait_for_main_window 100
sleep 2
memory "$app" "2 s after the main window shows"
sleep 6  # the stream is let go quiet 4 s after the last sound
cost "idle, nothing opened" "$app"

# The tempo display at (154, 192), START at (36, 192), STOP at (76, 192), OPEN at (160, 266).
click() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; }
click 154 192
sleep 0.3
xdotool type --delay 30 120
xdotool key Return
sleep 0.3
click 36 192
sleep 2
cost "metronome at 120 BPM" "$app"
click 76 192
sleep 6
cost "idle after the metronome" "$app"

click 160 266
dialog=""
for _ in $(seq 1 50); do
  dialog=$(xdotool search --onlyvisible --name '^Open MP3 file$' 2>/dev/null | head -n 1) || true
  [ -n "$dialog" ] && break
  sleep 0.1
done
[ -n "$dialog" ] || fail "OPEN showed no file dialog"
sleep 0.3
xdotool type --delay 5 "$work/track.mp3"
xdotool key Return
sleep 3
memory "$app" "a 5-minute track opened"
sleep 6
cost "idle, the track opened" "$app"
echo "load average $(cut -d' ' -f1-3 /proc/loadavg) at the end"
