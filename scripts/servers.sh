# Sourced by the scripts: starts the headless display, sound server and JACK server that the
# program and its tests need, in a private runtime folder, and stops them by PID on exit.

RZ77_PIDS=()
RZ77_RUNTIME=$(mktemp -d /tmp/rz77-runtime.XXXXXX)
chmod 700 "$RZ77_RUNTIME"

rz77_stop_servers() {
  local pid
  # Clients before servers: stop in reverse start order.
  for ((i = ${#RZ77_PIDS[@]} - 1; i >= 0; i--)); do
    pid=${RZ77_PIDS[i]}
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$RZ77_RUNTIME"
}
trap rz77_stop_servers EXIT

rz77_wait_for() {  # command, what
  for _ in $(seq 1 100); do
    if eval "$1" >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  echo "$2 did not start" >&2
  return 1
}

rz77_start_xvfb() {
  local n=99
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  # -noreset: by default Xvfb resets when its last client leaves, and a program starting during
  # the reset cannot connect.
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset -wr >"$RZ77_RUNTIME/xvfb.log" 2>&1 &
  RZ77_PIDS+=($!)
  export DISPLAY=":$n"
  unset WAYLAND_DISPLAY
  rz77_wait_for "xdpyinfo" "Xvfb"
}

rz77_start_pulseaudio() {
  export XDG_RUNTIME_DIR="$RZ77_RUNTIME"
  unset PULSE_SERVER
  pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit -n --use-pid-file=no \
    --load="module-native-protocol-unix auth-anonymous=1" \
    --load="module-null-sink sink_name=nullsink rate=48000" \
    --load=module-always-sink >"$RZ77_RUNTIME/pulseaudio.log" 2>&1 &
  RZ77_PIDS+=($!)
  rz77_wait_for "pactl info" "PulseAudio"
  pactl set-default-sink nullsink >/dev/null
}

rz77_start_jack() {
  export JACK_DEFAULT_SERVER="rz77-$$"
  export JACK_NO_START_SERVER=1
  jackd --no-realtime -d dummy -r 48000 -p 256 >"$RZ77_RUNTIME/jackd.log" 2>&1 &
  RZ77_PIDS+=($!)
  rz77_wait_for "jack_lsp" "JACK"
}

# PipeWire with its PulseAudio service, as a Debian 12 desktop runs it, in a runtime folder of
# its own (left in RZ77_PIPEWIRE_RUNTIME) so that it stands beside the PulseAudio server. Called
# as it is, not in $(...): the PIDs must reach the exit trap of this shell, not a subshell's.
rz77_start_pipewire() {
  RZ77_PIPEWIRE_RUNTIME="$RZ77_RUNTIME/pipewire"
  local runtime=$RZ77_PIPEWIRE_RUNTIME
  mkdir -m 700 -p "$runtime"
  # WirePlumber, which links the streams to the sink, will not run without a session bus. The
  # bus stays a child of this shell (no --fork), so that the trap can wait for its end.
  dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$runtime/bus" \
    >"$runtime/dbus-daemon.log" 2>&1 &
  RZ77_PIDS+=($!)
  rz77_wait_for "grep -q . $runtime/bus" "D-Bus"
  local bus
  bus=$(head -n 1 "$runtime/bus")
  for server in pipewire wireplumber pipewire-pulse; do
    XDG_RUNTIME_DIR="$runtime" DBUS_SESSION_BUS_ADDRESS="$bus" DISPLAY= \
      "$server" >"$runtime/$server.log" 2>&1 &
    RZ77_PIDS+=($!)
    [ "$server" = pipewire ] && sleep 0.3
  done
  rz77_wait_for "XDG_RUNTIME_DIR=$runtime pactl info | grep -q PipeWire" "pipewire-pulse"
  XDG_RUNTIME_DIR="$runtime" pactl load-module module-null-sink sink_name=nullsink rate=48000 >/dev/null
  rz77_wait_for "XDG_RUNTIME_DIR=$runtime pactl list short sinks | grep -q nullsink" "PipeWire's null sink"
  XDG_RUNTIME_DIR="$runtime" pactl set-default-sink nullsink
}
