#!/usr/bin/env bash
# Runs the JACK MIDI benchmarks on a private JACK dummy server: 200 launches of the real program
# under a busy loop per processor, each checked for its four start-up messages, then the
# metronome's clicks at the port, frame by frame, through RZ77's own port and through RtMidi.
# Usage: bench/jack_midi_bench.sh BUILD_DIR [LAUNCHES] [SECONDS]
set -euo pipefail
build=$1 launches=${2:-200} seconds=${3:-30}
here=$(dirname "$0")
source "$here/../scripts/servers.sh"
rz77_start_xvfb
rz77_start_jack
echo "== $launches launches on a busy machine"
"$here/../tests/midi/e2e_jack_startup.sh" "$build/src/rz77/rz77" "$build/src/midi/rz77-midi-probe" \
  "$build/tests/midi_receiver" "$launches" || true
echo "== clicks at the port"
"$build/bench/jack_midi_bench" --seconds "$seconds"
