#!/usr/bin/env bash
# Takes screenshots of the real program on a virtual X server, for the README.
#   scripts/screenshot.sh [BUILD_DIR]     pictures go to docs/
# Builds ixo-loader and ixo-sim in BUILD_DIR (default build/) first. Each scene
# below starts the program, brings it into the state to show, and photographs its
# window.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

build=${1:-$IXO_ROOT/build}
docs="$IXO_ROOT/docs"

if [ "${IXO_SCREENSHOT_INSIDE:-}" != 1 ]; then
  ensure_build_packages
  ensure_packages xvfb xauth x11-utils imagemagick
  [ -f "$build/build.ninja" ] || cmake -S "$IXO_ROOT" -B "$build" -G Ninja -DIXO_WERROR=ON >/dev/null
  cmake --build "$build" --target ixo-loader ixo-sim >/dev/null
  mkdir -p "$docs"
  # Run the scenes again inside a virtual screen of 1024 x 768 at 24 bits.
  exec env IXO_SCREENSHOT_INSIDE=1 xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$0" "$build"
fi

program="$build/src/app/ixo-loader"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The program's own settings (the port map) stay apart from the user's.
export XDG_CONFIG_HOME="$scratch/config"
export QT_QPA_PLATFORM=xcb

# Waits until a top-level window titled $1 is mapped; fails after 20 s.
wait_for_window() {
  local i
  for i in $(seq 1 200); do
    if xwininfo -name "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; then return 0; fi
    sleep 0.1
  done
  echo "screenshot: no window \"$1\" appeared" >&2
  return 1
}

# shoot TITLE NAME: photographs the window titled TITLE into docs/NAME.png.
shoot() {
  sleep 0.5  # let the window finish painting
  import -window "$1" "$docs/$2.png"
  echo "wrote docs/$2.png"
}

# with_sim_start: starts the program beside a simulated device on COM1, in the
# background; sets program_pid (the program) and wrapper_pid (what stops the device).
with_sim_start() {
  IXO_BUILD_DIR=$build "$IXO_ROOT/scripts/with-sim.sh" "$program" 2>/dev/null &
  wrapper_pid=$!
  local i
  for i in $(seq 1 100); do
    program_pid=$(pgrep -P "$wrapper_pid" -x ixo-loader || true)
    [ -n "$program_pid" ] && return 0
    sleep 0.1
  done
  echo "screenshot: the program did not start" >&2
  return 1
}

# Ends the program started by with_sim_start; the simulated device stops with it.
with_sim_stop() {
  kill "$program_pid"
  wait "$wrapper_pid" || true
}

# Scene: the window as it starts, with a device on COM1 and no program opened.
scene_start() {
  with_sim_start
  wait_for_window "Ixo Loader"
  shoot "Ixo Loader" main-window
  with_sim_stop
}

scene_start
