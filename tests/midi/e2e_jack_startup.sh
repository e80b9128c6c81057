#!/usr/bin/env bash
# Launch after launch of the real program on a JACK port, the start-up messages all arrive:
# bank select and program change for the chosen sound, then for the click channel. The launches
# run on a busy machine, where JACK is slow to bring a new connection into its graph.
# Usage: e2e_jack_startup.sh PATH_TO_RZ77 PATH_TO_PROBE PATH_TO_RECEIVER [LAUNCHES]
set -euo pipefail
program=$1 probe=$2 receiver=$3 launches=${4:-30}
work=$(mktemp -d)
pids=()
app=""
trap '[ -z "$app" ] || pids+=("$app"); rz77_stop_pids; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

source "$(dirname "$0")/../support/e2e.sh"
rz77_require '[ -n "${DISPLAY:-}" ]' jack_lsp -- a display and a JACK server
rz77_start_sync_jack

rz77_start_receiver "$receiver" "$probe"

# Sound 24 on channel 1; the click channel is the tenth.
cp "$program" "$work/rz77"
printf '[device]\r\nid=%s\r\n[sound]\r\nid=24\r\n[channel]\r\nid=1\r\n' "$device" >"$work/rz77.rz"
expected=$'b0 00 00\nc0 18\nba 00 00\nca 7f'

# Messages received since line $1 of the receiver's output.
since() { tail -n +$(($1 + 1)) "$work/received"; }

# One busy loop for each processor.
for _ in $(seq 1 "$(nproc)"); do
  sh -c 'while :; do :; done' &
  pids+=($!)
done

lost=0
for launch in $(seq 1 "$launches"); do
  start=$(wc -l <"$work/received")
  "$work/rz77" >"$work/rz77.log" 2>&1 &
  app=$!
  for _ in $(seq 1 200); do
    [ "$(since "$start" | wc -l)" -ge 4 ] && break
    sleep 0.1
  done
  # What a lost launch looked like at the end, so that a rare failure can be told apart: a
  # program still running with its port connected has sent into a cycle JACK did not deliver.
  state=""
  if [ "$(since "$start" | head -n 4)" != "$expected" ]; then
    state="running; connections: $(jack_lsp -c 2>/dev/null | grep -A1 '^RZ77' | tr '\n' ' ')"
    kill -0 "$app" 2>/dev/null || state="already ended"
  fi
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  app=""
  got=$(since "$start" | head -n 4)
  if [ "$got" != "$expected" ]; then
    lost=$((lost + 1))
    echo "launch $launch received: $(echo "$got" | tr '\n' '|') (program $state)"
    grep -v '^$' "$work/rz77.log" | tail -n 5
  fi
done
[ "$lost" -eq 0 ] || fail "start-up messages missing in $lost of $launches launches"
echo PASS
