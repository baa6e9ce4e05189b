#!/usr/bin/env bash
# The window on Windows, under Wine, for the README beside the Linux pictures: starts
# ixo-loader.exe in a clean prefix of its own (no Qt, no MinGW, nothing found through
# WINEPATH: what a Windows machine with only the zip has), beside a simulated device
# on COM1 holding examples/full.obj, clicks Read as the operator would, checks that
# the device was read whole, and photographs the window.
#   scripts/screenshot-windows.sh [IXO_LOADER_EXE [PICTURE]]
# By default the program is build-windows/'s, unpacked from its zip, and the picture
# docs/windows-device-read.png. scripts/test-windows.sh runs it on the zip it packs.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/lib-wine.sh"
source "$(dirname "$0")/x11.sh"

SIM=${IXO_LINUX_SIM:-$IXO_ROOT/build-windows/linux-sim/sim/ixo-sim}
fail() {
  echo "screenshot-windows: $*" >&2
  exit 1
}

if [ -z "${IXO_SCREENSHOT_X:-}" ]; then
  ensure_packages "${X11_PACKAGES[@]}" imagemagick unzip
  exe=${1:-}
  scratch=
  if [ -z "$exe" ]; then
    zip=$(ls "$IXO_ROOT"/build-windows/ixo/ixo-loader-*.zip 2>/dev/null | head -n 1)
    [ -n "$zip" ] || fail "no zip in build-windows/ixo: run scripts/test-windows.sh first"
    scratch=$(mktemp -d)
    unzip -q "$zip" -d "$scratch"
    exe=$(find "$scratch" -name ixo-loader.exe)
  fi
  status=0
  # A screen of its own, 1024 x 768 at 96 dots per inch, as the Linux pictures have.
  IXO_SCREENSHOT_X=1 xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
    "$0" "$exe" "${2:-$IXO_ROOT/docs/windows-device-read.png}" || status=$?
  [ -z "$scratch" ] || rm -rf "$scratch"
  exit $status
fi

exe=$1 picture=$2
[ -x "$SIM" ] || fail "no ixo-sim for Linux at $SIM"
unset WINEPATH
work=$(mktemp -d)
wine_pid=
cleanup() {
  [ -z "$wine_pid" ] || kill "$wine_pid" 2>/dev/null || true
  stop_window_manager
  wine_prefix_remove
  rm -rf "$work"
}
trap cleanup EXIT
wine_prefix_create "$work/prefix"
source "$IXO_ROOT/tests/windows/sim-ports.sh"
# The program and the window manager end first: stop_sims waits for every child.
trap 'cleanup; stop_sims' EXIT
start_sim 1 --trace --load "$IXO_ROOT/examples/full.obj" --cw ABCDEF01
for n in 2 3 4 5 6 7 8; do absent_port $n; done

start_window_manager "$work"
# The program starts in the folder it was unpacked into, as from Explorer.
(cd "$(dirname "$exe")" && exec "$IXO_ROOT/scripts/wine-run.sh" "$exe") >"$work/wine.log" 2>&1 &
wine_pid=$!
main=$(wait_for_window '^Ixo Loader$')
wait_until_painted

# Read: the fourth group's third button (groups 33, 83 and 33 pixels wide before it;
# buttons 25 pixels square, 4 pixels in).
xdotool mousemove --window "$main" $((33 + 83 + 33 + 4 + 25 * 2 + 12)) 16 click 1
# 129 fetches of 3 bytes each, and their answers of 8.
answered() {
  [ "$(awk '$2 == "sent" { n += NF - 2 } END { print n + 0 }' "$sim_work/sim1.trace")" -ge 1032 ]
}
poll 60 "the read of all 129 words from the simulated device" answered
xdotool mousemove --window "$main" 260 400
shoot_window "$main" "$picture"
echo "the window under Wine read the simulated device; its picture: $picture"
