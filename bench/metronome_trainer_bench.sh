#!/usr/bin/env bash
# Runs metronome_trainer_bench on a private PulseAudio null sink, as the tests start it (about
# three and a half minutes with the default 10 s a run).
# Usage: bench/metronome_trainer_bench.sh BUILD_DIR [--seconds N]
set -euo pipefail
build=$1
shift
source "$(dirname "$0")/../scripts/servers.sh"
rz77_start_pulseaudio
QT_QPA_PLATFORM=offscreen "$build/bench/metronome_trainer_bench" "$@"
