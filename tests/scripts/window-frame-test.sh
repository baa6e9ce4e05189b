#!/usr/bin/env bash
# The window as a window manager frames it: 521 x 688 outside and centred on the
# screen, with openbox and with no window manager at all, on a virtual X server.
# Skipped (77) where the X tools are missing.
#   window-frame-test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
root=$1 build=$2
source "$root/scripts/x11.sh"
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

if [ "${IXO_FRAME_TEST_INSIDE:-}" != 1 ]; then
  for tool in xvfb-run xauth xwininfo xprop xdotool openbox; do
    command -v "$tool" >/dev/null || { echo "skipped: no $tool here"; exit 77; }
  done
  # A screen of 1024 x 768: the window's frame belongs at (251, 40).
  exec env IXO_FRAME_TEST_INSIDE=1 xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" bash "$0" "$@"
fi

work=$(mktemp -d)
trap 'stop_program; stop_window_manager; rm -rf "$work"' EXIT
passed=0 failed=0

# measure WHERE: the settled frame of a freshly started window against the place
# it belongs.
measure() {
  local geometry w h x y
  start_program_beside_device "$build"
  geometry=$(settled_frame_geometry "$main")
  stop_program
  IFS='x+' read -r w h x y <<<"$geometry"
  if [ "$w" = 521 ] && [ "$h" = 688 ] && [ $((x - 251)) -ge -1 ] && [ $((x - 251)) -le 1 ] &&
    [ $((y - 40)) -ge -1 ] && [ $((y - 40)) -le 1 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $1: the framed window is $geometry, not 521x688 centred at +251+40" >&2
  fi
}

measure "without a window manager"
start_window_manager "$work"
measure "under openbox"
echo "window frame: $passed passed, $failed failed"
[ $failed -eq 0 ]
