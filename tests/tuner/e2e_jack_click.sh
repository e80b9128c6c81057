#!/usr/bin/env bash
# A real click on the 4th string (D) of the real program reaches a JACK MIDI port as a note-on.
# Usage: e2e_jack_click.sh PATH_TO_RZ77 PATH_TO_PROBE PATH_TO_RECEIVER
set -euo pipefail
program=$1 probe=$2 receiver=$3
work=$(mktemp -d)
pids=()
trap 'rz77_stop_pids; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; cat "$work/received" 2>/dev/null; exit 1; }

source "$(dirname "$0")/../support/e2e.sh"
rz77_require '[ -n "${DISPLAY:-}" ]' jack_lsp -- a display and a JACK server
rz77_start_sync_jack

rz77_start_receiver "$receiver" "$probe"

# The program reads its settings from its own directory: channel 3 (2 inside), the receiver.
cp "$program" "$work/rz77"
printf '[device]\r\nid=%s\r\n[sound]\r\nid=25\r\n[channel]\r\nid=3\r\n' "$device" >"$work/rz77.rz"
"$work/rz77" >"$work/rz77.log" 2>&1 &
pids+=($!)

id=""
for _ in $(seq 1 80); do
  id=$(xdotool search --onlyvisible --name '^RZ77$' 2>/dev/null | while read -r w; do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    [ "$WIDTH" = 206 ] && echo "$w"
  done | head -n 1) || true
  [ -n "$id" ] && break
  sleep 0.1
done
[ -n "$id" ] || fail "no main window"
eval "$(xdotool getwindowgeometry --shell "$id")"

# String 2 is drawn at (142, 56), 9 x 43 pixels.
xdotool mousemove $((X + 146)) $((Y + 76)) click 1
for _ in $(seq 1 30); do grep -q '^92 32 7f$' "$work/received" && break; sleep 0.1; done
grep -q '^b2 00 00$' "$work/received" || fail "no bank select on channel 3"
grep -q '^c2 19$' "$work/received" || fail "no program change on channel 3"
grep -q '^92 32 7f$' "$work/received" || fail "no note-on 0x92 50 127"
echo PASS
