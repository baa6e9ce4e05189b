#!/usr/bin/env bash
# The window as a window manager frames it: 521 x 688 outside and centred on the
# screen, with openbox and with no window manager at all, on a virtual X server;
# and its port dialog centred under openbox.
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
  # A screen of 1024 x 768, as the checks below take it. The server is not reset
  # when its last client leaves (the program's end, each xprop), so that a window
  # manager that connects meanwhile is not turned away.
  exec env IXO_FRAME_TEST_INSIDE=1 xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96 -noreset" bash "$0" "$@"
fi

# In a sanitized build: the X keyboard library under the toolkit's X platform
# strndup()s a buffer without its terminator, which strict string checks take for
# an overflow of ours.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}strict_string_checks=0

work=$(mktemp -d)
trap 'stop_program; stop_window_manager; rm -rf "$work"' EXIT
passed=0 failed=0

# check WHAT GEOMETRY [SIZE]: a pass when the framed window WIDTHxHEIGHT+X+Y is
# centred on the screen within a pixel and, where SIZE is given, that large.
check() {
  local w h x y
  IFS='x+' read -r w h x y <<<"$2"
  if { [ -z "${3:-}" ] || [ "${w}x$h" = "$3" ]; } &&
    [ $(((2 * x + w - 1024) ** 2)) -le 4 ] && [ $(((2 * y + h - 768) ** 2)) -le 4 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $1 is framed at $2, not ${3:-its size} centred on 1024x768" >&2
  fi
}

# measure WHERE: a freshly started window, and under a window manager the port
# dialog it opens too.
measure() {
  local dialog
  start_program_beside_device "$build"
  check "the window $1" "$(settled_frame_geometry "$main")" 521x688
  if [ -n "$wm_pid" ]; then
    xdotool mousemove --window "$main" 16 16 click 1  # the port button
    dialog=$(wait_for_window 'Выбор порта связи')
    check "the port dialog $1" "$(settled_frame_geometry "$dialog")"
  fi
  stop_program
}

measure "without a window manager"
start_window_manager "$work"
measure "under openbox"
echo "window frame: $passed passed, $failed failed"
[ $failed -eq 0 ]
