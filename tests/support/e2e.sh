# Sourced by the end-to-end scripts. Each script defines fail() and the array pids (stopped on
# exit) and sets work to its scratch folder before calling these.

# Stops what the script started, the last first (clients before their server), and waits for
# each: a JACK server in sync mode whose client died without closing (the program, ended by a
# signal) takes about 6 s to end, and must not outlive the script.
rz77_stop_pids() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
}

# Skips the script when run by hand without the servers it needs; under scripts/test a missing
# server is a failure. Arguments: the commands that must succeed, then "--", then what they are.
rz77_require() {
  local checks=() what
  while [ "$1" != "--" ]; do checks+=("$1"); shift; done
  shift
  what=$*
  local check
  for check in "${checks[@]}"; do
    if ! eval "$check" >/dev/null 2>&1; then
      [ -n "${RZ77_SERVERS:-}" ] && fail "needs $what"
      echo "skipped: needs $what"
      exit 77
    fi
  done
}

# Starts the JACK receiver (extra arguments go to it), its output in $work/received, and sets
# device to the identifier under which the program's probe lists its port.
rz77_start_receiver() {  # receiver probe [receiver arguments]
  local receiver=$1 probe=$2
  shift 2
  "$receiver" "$@" >"$work/received" 2>"$work/receiver.log" &
  pids+=($!)
  for _ in $(seq 1 50); do grep -q ready "$work/received" && break; sleep 0.1; done
  device=$("$probe" 2>/dev/null | sed -n 's/.*rz77-receiver.*(device \([0-9]*\))$/\1/p' | head -n 1)
  [ -n "$device" ] || fail "the receiver's port is not among the MIDI devices"
}

# Waits up to $1 tenths of a second for the main window (206 x 307 at 96 dpi) and sets main to
# its id and X, Y to where it stands; fails without it.
rz77_wait_for_main_window() {
  main=""
  for _ in $(seq 1 "$1"); do
    main=$(xdotool search --onlyvisible --name '^RZ77$' 2>/dev/null | head -n 1) || true
    if [ -n "$main" ]; then
      eval "$(xdotool getwindowgeometry --shell "$main")"
      [ "$WIDTH $HEIGHT" = "206 307" ] && return 0
    fi
    main=""
    sleep 0.1
  done
  fail "no main window"
}

# Clicks OPEN, at (160, 266) on the main window that rz77_wait_for_main_window found, and opens
# the file $1 in the dialog it shows; fails without the dialog.
rz77_open_mp3() {
  xdotool mousemove $((X + 160)) $((Y + 266)) click 1
  local dialog=""
  for _ in $(seq 1 50); do
    dialog=$(xdotool search --onlyvisible --name '^Open MP3 file$' 2>/dev/null | head -n 1) || true
    [ -n "$dialog" ] && break
    sleep 0.1
  done
  [ -n "$dialog" ] || fail "OPEN showed no file dialog"
  sleep 0.3
  xdotool type --delay 5 "$1"
  xdotool key Return
}

# A JACK server of the script's own in sync mode, for the tests of start-up messages: there a
# client starved of processor time holds the cycle up instead of missing the MIDI written in it
# (2 of 100 launches under load lost their start-up messages on the shared server, none of 100
# in sync mode). The shared server stays in its usual mode, where MIDI keeps its timing.
rz77_start_sync_jack() {
  export JACK_DEFAULT_SERVER="rz77-sync-$$"
  jackd --no-realtime --sync -d dummy -r 48000 -p 256 >"$work/jackd-sync.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 1 100); do jack_lsp >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "the JACK server in sync mode did not start" >&2
  return 1
}
