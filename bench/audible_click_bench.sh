#!/usr/bin/env bash
# Runs audible_click_bench on a private PulseAudio null sink, as the tests start it.
# Usage: bench/audible_click_bench.sh BUILD_DIR [--seconds N] [--stall]
set -euo pipefail
build=$1
shift
source "$(dirname "$0")/../scripts/servers.sh"
rz77_start_pulseaudio
"$build/bench/audible_click_bench" "$@"
