#!/usr/bin/env bash
# The real program, built with the address sanitizer, starts on the built-in synthesizer, shows
# its main window and ends by its exit button; leak detection then finds nothing of ours. Only
# the libraries' own leaks, by name, are suppressed (tests/support/lsan.supp).
# Usage: e2e_leaks.sh PATH_TO_SANITIZED_RZ77 (needs DISPLAY, PulseAudio and xdotool).
set -euo pipefail
program=$1
work=$(mktemp -d)
app=""
trap '[ -z "$app" ] || kill $app 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; cat "$work/log"; exit 1; }
source "$(dirname "$0")/../support/e2e.sh"
rz77_require '[ -n "${DISPLAY:-}" ]' 'pactl info' -- a display and a sound server

cp "$program" "$work/rz77"
cp "$(dirname "$program")/genmidi.rz" "$work/"
export ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0:exitcode=23
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")/../support" && pwd)/lsan.supp:print_suppressions=0"
"$work/rz77" >"$work/log" 2>&1 &
app=$!

rz77_wait_for_main_window 300
sleep 1
# The exit button at (176, 20), 15 x 13 pixels.
xdotool mousemove $((X + 183)) $((Y + 26)) click 1
status=0
wait "$app" || status=$?
app=""
[ "$status" -eq 0 ] || fail "exit status $status"
! grep -q "ERROR: LeakSanitizer" "$work/log" || fail "leaks"
echo PASS
