#!/usr/bin/env bash
# The coach's calibration by clicks heard back on a private PulseAudio server: RUNS times with
# the null sink's monitor as the input, then RUNS times through a loopback that adds DELAY ms on
# the way (the monitor played into a second null sink, whose monitor is then the input). The
# second median should come out the loopback's delay later.
# Usage: bench/coach_calibration_bench.sh BUILD_DIR [RUNS] [DELAY]
set -euo pipefail
build=$1 runs=${2:-10} delay=${3:-40}
source "$(dirname "$0")/../scripts/servers.sh"
rz77_start_pulseaudio
pactl load-module module-null-sink sink_name=delayed rate=48000 >/dev/null
echo "direct: the null sink's monitor"
PULSE_SOURCE=nullsink.monitor "$build/bench/coach_calibration_bench" "$runs"
pactl load-module module-loopback source=nullsink.monitor sink=delayed latency_msec="$delay" \
  source_dont_move=true sink_dont_move=true >/dev/null
sleep 5  # the loopback settles at its latency
echo "through a loopback of $delay ms"
PULSE_SOURCE=delayed.monitor "$build/bench/coach_calibration_bench" "$runs"
pactl list sink-inputs | grep -i -E "latency|resample" | head -n 4 || true
