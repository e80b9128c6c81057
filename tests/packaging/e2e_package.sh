#!/usr/bin/env bash
# The Debian package as a user meets it: built by CPack, its desktop entry and metainfo valid,
# installed with apt into a fresh Debian 12 root, and the installed program started from there on
# the test display to its main window, keeping its settings under ~/.config.
# Usage: e2e_package.sh BUILD_DIR (needs DISPLAY, a PulseAudio server, mmdebstrap, xdotool).
set -euo pipefail
fail() { echo "FAIL: $*"; exit 1; }

# Run by mmdebstrap once the fresh root is ready, with its /proc and /dev mounted.
in_root() {  # root deb
  local root=$1 deb=$2 module pid found="" id
  cp "$deb" "$root/tmp/rz77.deb"
  chroot "$root" apt-get install -y -q --no-install-recommends /tmp/rz77.deb >"$root/tmp/apt.log" 2>&1 ||
    { tail -n 20 "$root/tmp/apt.log"; fail "apt could not install the package"; }
  # The program reaches the display through its abstract socket, the sound server through a
  # socket opened inside the root.
  module=$(pactl load-module module-native-protocol-unix auth-anonymous=1 socket="$root/tmp/pulse")
  chroot "$root" env -i HOME=/root PATH=/usr/bin:/bin DISPLAY="$DISPLAY" \
    PULSE_SERVER=unix:/tmp/pulse JACK_NO_START_SERVER=1 rz77 >"$root/tmp/rz77.log" 2>&1 &
  pid=$!
  for _ in $(seq 1 100); do
    for id in $(xdotool search --onlyvisible --name '^RZ77$' 2>/dev/null); do
      eval "$(xdotool getwindowgeometry --shell "$id")"
      [ "$WIDTH $HEIGHT" = "206 307" ] && found=$id
    done
    [ -n "$found" ] && break
    sleep 0.1
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pactl unload-module "$module"
  [ -n "$found" ] || { cat "$root/tmp/rz77.log"; fail "the installed program showed no main window"; }
  [ -d "$root/root/.config/rz77" ] || fail "the installed program keeps no settings folder in ~/.config"
  echo "the installed program reached its main window"
}
if [ "${1:-}" = --in-root ]; then
  in_root "$2" "$3"
  exit
fi

build=$(realpath "$1")
source_dir=$(realpath "$(dirname "$0")/../..")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -n "${DISPLAY:-}" ] && pactl info >/dev/null 2>&1 || fail "needs a display and PulseAudio"

(cd "$build" && cpack -G DEB >"$work/cpack.log") || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$build"/rz77_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for package in timgm6mb-soundfont libqt6widgets6 libfluidsynth3 libmpg123-0 libsoxr0 libsndfile1 \
  libavformat59 libavcodec59 libavutil57 libswresample4 libqm-dsp0; do
  [[ "$depends" == *"$package"* ]] || fail "the package does not depend on $package"
done
dpkg-deb -x "$deb" "$work/contents"
for file in usr/bin/rz77 usr/share/applications/rz77.desktop usr/share/metainfo/rz77.metainfo.xml \
  usr/share/icons/hicolor/scalable/apps/rz77.svg; do
  [ -e "$work/contents/$file" ] || fail "the package lacks /$file"
done
# The beat analysis, a module the program opens from ../lib/.../rz77/ beside its bin/.
[ -n "$(find "$work/contents/usr/lib" -path '*/rz77/librz77-analysis.so')" ] ||
  fail "the package lacks the beat analysis module"
if [ -e "$source_dir/assets/genmidi.rz" ]; then
  [ -e "$work/contents/usr/share/rz77/genmidi.rz" ] || fail "the package lacks genmidi.rz"
fi
desktop-file-validate "$work/contents/usr/share/applications/rz77.desktop"
# The desktop entry is named rz77.desktop, so the component id cannot be a reverse domain name.
appstreamcli validate --no-net --override=cid-desktopapp-is-not-rdns=info \
  "$work/contents/usr/share/metainfo/rz77.metainfo.xml"

start=$SECONDS
mmdebstrap --variant=apt bookworm "$work/root" \
  --customize-hook="$(realpath "$0") --in-root \"\$1\" $deb" >"$work/mmdebstrap.log" 2>&1 ||
  { tail -n 30 "$work/mmdebstrap.log"; fail "installing into a fresh root"; }
grep -h "installed program" "$work/mmdebstrap.log"
echo "fresh Debian root with the package: $((SECONDS - start)) s"
echo PASS
