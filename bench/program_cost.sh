#!/usr/bin/env bash
# What the assembled program costs the machine: the real binary started as a user starts it, on a
# virtual display with a private PulseAudio null sink, driven with the mouse as a user drives it.
# Prints its memory after the start, with a five-minute and an hour-long track open and after the
# practice panel has been closed; the processor time of the program and of the sound server idle
# (under PulseAudio also with the server suspending idle sinks, as a desktop's does),
# with the metronome at 120 BPM, with a track playing at 100 % and at 50 % speed (with the
# stretcher the program measured, and with FASTER) and with the tuner listening; and how often the
# program's threads wake up. Figures from /proc. With --pipewire the sound server is PipeWire's
# PulseAudio service instead of PulseAudio.
# Usage: bench/program_cost.sh BUILD_DIR [SECONDS per measurement, 20 by default] [--pipewire]
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=${2:-20}
server_kind=${3:-}
source "$(dirname "$0")/../scripts/servers.sh"
work="$RZ77_RUNTIME/bench"
mkdir -p "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
source "$(dirname "$0")/../tests/support/e2e.sh"

rz77_start_xvfb
if [ "$server_kind" = --pipewire ]; then
  rz77_start_pipewire
  export XDG_RUNTIME_DIR=$RZ77_PIPEWIRE_RUNTIME
  # The graph, and so the output, runs in pipewire; the stream arrives through pipewire-pulse.
  server="$(pgrep -n -x pipewire) $(pgrep -n -x pipewire-pulse)"
  echo "sound server: PipeWire $(pipewire --version | awk '/libpipewire/ { print $NF; exit }')"
else
  rz77_start_pulseaudio
  server=${RZ77_PIDS[-1]}
  echo "sound server: PulseAudio $(pulseaudio --version | awk '{ print $2 }')"
fi
ticks=$(getconf CLK_TCK)

cpu_ticks() { for pid in "$@"; do cat "/proc/$pid/stat"; done | awk '{ n += $14 + $15 } END { print n }'; }
# Each thread's switches off the processor, each of which ends a wait or a preemption, as
# "thread count" lines; wakeups_between sums them over the threads alive at both ends.
thread_switches() {
  for task in /proc/"$1"/task/*; do
    echo "${task##*/} $(awk '/ctxt_switches/ { n += $2 } END { print n }' "$task/status" 2>/dev/null)"
  done | sort
}
wakeups_between() { join <(echo "$1") <(echo "$2") | awk '{ n += $3 - $2 } END { print n + 0 }'; }
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
  local what=$1 app=$2 a0 s0 w0="" a1 s1 w1=""
  a0=$( [ -n "$app" ] && cpu_ticks "$app" || echo 0); s0=$(cpu_ticks $server)
  [ -z "$app" ] || w0=$(thread_switches "$app")
  sleep "$seconds"
  a1=$( [ -n "$app" ] && cpu_ticks "$app" || echo 0); s1=$(cpu_ticks $server)
  [ -z "$app" ] || w1=$(thread_switches "$app")
  if [ -n "$app" ]; then
    printf '%-38s RZ77 %5.2f %% CPU, %6.1f wake-ups/s; sound server %5.2f %% CPU\n' "$what" \
      "$(bc -l <<<"100 * ($a1 - $a0) / $ticks / $seconds")" \
      "$(bc -l <<<"$(wakeups_between "$w0" "$w1") / $seconds")" "$(bc -l <<<"100 * ($s1 - $s0) / $ticks / $seconds")"
  else
    printf '%-38s sound server %5.2f %% CPU\n' "$what" \
      "$(bc -l <<<"100 * ($s1 - $s0) / $ticks / $seconds")"
  fi
}

echo "$(nproc) processors, load average $(cut -d' ' -f1-3 /proc/loadavg) at the start; ${seconds} s per figure"
sleep 2
cost "no RZ77 running" ""

# A low tone with a little noise, as a user's track might be: the given minutes of it.
make_track() {
  python3 - "$work/second.raw" <<'EOF2'
import math, random, struct, sys
rate = 44100
second = b"".join(struct.pack("<h", int(8000 * math.sin(2 * math.pi * 110 * i / rate)
                                       + random.randint(-300, 300))) for i in range(rate))
open(sys.argv[1], "wb").write(second)  # whole periods: the seconds join seamlessly
EOF2
  for _ in $(seq 1 $((60 * $1))); do cat "$work/second.raw"; done |
    lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m m -b 128 - "$2" 2>/dev/null
  rm "$work/second.raw"
}
make_track 5 "$work/track.mp3"
make_track 60 "$work/hour.mp3"

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

# Starts the program as a user does, with the practice panel's settings given (none: as new).
launch() {
  rm -f "$settings/practice.conf"
  [ -z "$1" ] || printf '%b' "$1" >"$settings/practice.conf"
  "$build/src/rz77/rz77" >"$work/rz77.log" 2>&1 &
  app=$!
  pids+=($app)
  rz77_wait_for_main_window 100
  sleep 2
}
quit() {
  kill "$app"
  wait "$app" 2>/dev/null || true
}

# The tempo display at (154, 192), START at (36, 192), STOP at (76, 192), PLAY at (41, 266),
# STOP MP3 at (115, 266).
click() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; }
open_track() {
  rz77_open_mp3 "$1"
  sleep 3
}

launch ""
memory "$app" "2 s after the main window shows"
sleep 6  # the stream is let go quiet 4 s after the last sound
cost "idle, nothing opened" "$app"
if [ "$server_kind" != --pipewire ]; then
  # A desktop's PulseAudio (Debian's default.pa) suspends a sink whose streams are all corked;
  # the private server does not, unless told to.
  suspending=$(pactl load-module module-suspend-on-idle timeout=5)
  sleep 7
  cost "idle, the server suspending idle sinks" "$app"
  pactl unload-module "$suspending"
fi
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
open_track "$work/track.mp3"
memory "$app" "a 5-minute track opened"
sleep 6
cost "idle, the track opened" "$app"
click 41 266
sleep 2
cost "the track playing at 100 %" "$app"
click 115 266
open_track "$work/hour.mp3"
memory "$app" "an hour-long track opened"
quit

for faster in false true; do
  launch "[track]\nspeed=50\nfasterStretch=$faster\n"
  open_track "$work/track.mp3"
  click 41 266
  sleep 2
  cost "the track playing at 50 %$([ $faster = true ] && echo ", FASTER")" "$app"
  quit
done

# The panel open on the tuner page, listening to the server's monitor of its own output.
launch "[panel]\nopen=true\npage=2\n[tuner]\nlisten=true\n"
memory "$app" "the tuner page open and listening"
cost "the tuner listening" "$app"
xdotool windowfocus --sync "$main" key F2
sleep 3
memory "$app" "the practice panel closed again"
quit
echo "load average $(cut -d' ' -f1-3 /proc/loadavg) at the end"
