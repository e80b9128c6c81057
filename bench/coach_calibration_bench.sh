#!/usr/bin/env bash
# The coach's calibration by clicks heard back on a private PulseAudio server, the null sink's
# monitor as the input: RUNS times with the program playing into the null sink, then RUNS times
# with it playing into a sink that delays by DELAY ms (CMT's delay line, a LADSPA plugin, exact to
# the sample) on its way into the null sink. The server does not know of the plugin's delay, so
# the second median should come out DELAY ms after the first.
# Usage: bench/coach_calibration_bench.sh BUILD_DIR [RUNS] [DELAY]
set -euo pipefail
build=$1 runs=${2:-10} delay=${3:-40}
source "$(dirname "$0")/../scripts/servers.sh"
export QT_QPA_PLATFORM=offscreen PULSE_SOURCE=nullsink.monitor
rz77_start_pulseaudio
echo "direct: into the null sink"
PULSE_SINK=nullsink "$build/bench/coach_calibration_bench" "$runs"
pactl load-module module-ladspa-sink sink_name=delayed sink_master=nullsink plugin=cmt \
  label=delay_0.1s control="$(awk -v d="$delay" 'BEGIN { print d / 1000 }'),1" >/dev/null
echo "through a delay line of $delay ms"
PULSE_SINK=delayed "$build/bench/coach_calibration_bench" "$runs"
