#!/usr/bin/env bash
# Takes the README's screenshots of the real program on a virtual X server.
#   scripts/screenshot.sh [BUILD_DIR]     pictures go to docs/
# Builds ixo-loader and ixo-sim in BUILD_DIR (default build/) first. Each scene
# below starts the program beside a simulated device on COM1 (scripts/with-sim.sh,
# the device holding examples/full.obj), works it with the mouse and keyboard as a
# person would, photographs its window, and stops the program and the device again.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

build=$(realpath -m "${1:-$IXO_ROOT/build}")
docs="$IXO_ROOT/docs"

if [ "${IXO_SCREENSHOT_INSIDE:-}" != 1 ]; then
  ensure_build_packages
  ensure_packages xvfb xauth x11-utils imagemagick xdotool openbox
  [ -f "$build/build.ninja" ] || cmake -S "$IXO_ROOT" -B "$build" -G Ninja -DIXO_WERROR=ON >/dev/null
  cmake --build "$build" --target ixo-loader ixo-sim >/dev/null
  mkdir -p "$docs"
  # Run the scenes again inside a virtual screen of 1024 x 768 at 24 bits.
  exec env IXO_SCREENSHOT_INSIDE=1 xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$0" "$build"
fi

program="$build/src/app/ixo-loader"
scratch=$(mktemp -d)
export QT_QPA_PLATFORM=xcb
# The file dialog starts in the repository, as it does after scripts/run.sh.
cd "$IXO_ROOT"

wm_pid= wrapper_pid= program_pid= main=
cleanup() {
  stop_program
  if [ -n "$wm_pid" ]; then
    kill "$wm_pid" 2>/dev/null || true
    wait "$wm_pid" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Says what went wrong and ends the script (or the command substitution it is in,
# which ends the script in turn).
fail() {
  echo "screenshot: $*" >&2
  exit 1
}

# poll SECONDS WHAT COMMAND...: runs COMMAND every 0.1 s until it succeeds; after
# SECONDS fails saying that WHAT did not happen.
poll() {
  local deadline=$((SECONDS + $1)) what=$2
  shift 2
  until "$@"; do
    [ $SECONDS -lt $deadline ] || fail "$what did not happen"
    sleep 0.1
  done
}

# --- Windows -----------------------------------------------------------------

# A plain window manager draws captions and frames, and gives the focus to the
# window that opens or is clicked, as a desktop does. Captions show the title only.
start_window_manager() {
  cat >"$scratch/openbox.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <theme>
    <name>Clearlooks</name>
    <titleLayout>L</titleLayout>
    <font place="ActiveWindow"><name>Liberation Sans</name><size>8</size></font>
    <font place="InactiveWindow"><name>Liberation Sans</name><size>8</size></font>
  </theme>
</openbox_config>
EOF
  openbox --config-file "$scratch/openbox.xml" >/dev/null 2>&1 &
  wm_pid=$!
  poll 10 "the window manager's start" window_manager_running
}

window_manager_running() {
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

# wait_for_window TITLE_PATTERN [EXCEPT_ID]: waits up to 20 s for a window on
# screen whose title matches (other than EXCEPT_ID) and prints its id.
wait_for_window() {
  local deadline=$((SECONDS + 20)) id
  while :; do
    for id in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
      if [ "$id" != "${2:-}" ]; then
        echo "$id"
        return 0
      fi
    done
    [ $SECONDS -lt $deadline ] || fail "no window \"$1\" appeared"
    sleep 0.1
  done
}

window_shown() {
  xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'
}

window_gone() {
  ! window_shown "$1"
}

wait_for_close() {
  poll 20 "the closing of window $1" window_gone "$1"
}

# activate ID: brings the window to the front with the keyboard focus.
activate() {
  xdotool windowactivate "$1"
  poll 10 "the activation of window $1" window_active "$1"
}

window_active() {
  [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]
}

# frame_geometry ID: WIDTHxHEIGHT+X+Y of the window with the frame drawn round it.
frame_geometry() {
  local x y w h left right top bottom
  read -r x y w h < <(xwininfo -id "$1" | awk '
    /Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
    /^  Width:/ {w = $NF} /^  Height:/ {h = $NF} END {print x, y, w, h}')
  read -r left right top bottom < <(xprop -id "$1" _NET_FRAME_EXTENTS | tr -d , |
    awk '{print $3, $4, $5, $6}')
  echo "$((w + left + right))x$((h + top + bottom))+$((x - left))+$((y - top))"
}

screen_digest() {
  import -window root rgb:- | md5sum
}

# Waits until the screen has stopped changing: two pictures 0.3 s apart match.
wait_until_painted() {
  local deadline=$((SECONDS + 10)) before after
  before=$(screen_digest)
  while :; do
    sleep 0.3
    after=$(screen_digest)
    [ "$after" = "$before" ] && return 0
    [ $SECONDS -lt $deadline ] || fail "the screen kept changing"
    before=$after
  done
}

# shoot ID NAME: photographs the screen where window ID and its frame are (with
# whatever dialog stands in front of it) into docs/NAME.png.
shoot() {
  wait_until_painted
  import -window root -crop "$(frame_geometry "$1")" +repage "$docs/$2.png"
  echo "wrote docs/$2.png"
}

# --- The program ---------------------------------------------------------------

# start_program: starts the program beside a simulated device on COM1 and waits for
# its window; sets main (the window's id), program_pid, and wrapper_pid (the script
# that stops the device when the program ends).
start_program() {
  IXO_BUILD_DIR=$build "$IXO_ROOT/scripts/with-sim.sh" "$program" 2>/dev/null &
  wrapper_pid=$!
  poll 20 "the program's start" find_program
  main=$(wait_for_window '^Ixo Loader$')
  # Let it finish starting before it is touched.
  wait_until_painted
}

find_program() {
  program_pid=$(pgrep -P "$wrapper_pid" -x ixo-loader) || return 1
}

# Ends the program, and with it the simulated device.
stop_program() {
  if [ -n "$program_pid" ]; then
    kill "$program_pid" 2>/dev/null || true
  elif [ -n "$wrapper_pid" ]; then
    kill "$wrapper_pid" 2>/dev/null || true
  fi
  if [ -n "$wrapper_pid" ]; then
    wait "$wrapper_pid" 2>/dev/null || true
  fi
  program_pid= wrapper_pid= main=
}

# The top bar's buttons: group and slot. The groups are 33, 83, 33, 108 and 146
# pixels wide from the window's left edge; a button is 25 x 25 at x = 4 + 25 x slot
# inside its group, y = 4.
group_widths=(33 83 33 108 146)
declare -A buttons=([port]="0 0" [open]="1 0" [write]="3 1" [read]="3 2" [verify]="3 3")

# click_button NAME: clicks the middle of that button of the main window.
click_button() {
  local group slot left=0 i
  read -r group slot <<<"${buttons[$1]}"
  for ((i = 0; i < group; i++)); do left=$((left + group_widths[i])); done
  xdotool mousemove --window "$main" $((left + 4 + 25 * slot + 12)) 16 click 1
}

# Gives the main window the focus and leaves the pointer over the listing, where
# no hint shows in the status bar.
focus_main_window() {
  activate "$main"
  xdotool mousemove --window "$main" 260 400
}

# open_program FILE: opens FILE (a path from the repository) with the Open button,
# typing its full name into the file dialog's name field.
open_program() {
  local dialog
  click_button open
  dialog=$(wait_for_window '^Open Object File')
  activate "$dialog"
  xdotool key ctrl+a
  xdotool type --delay 20 "$IXO_ROOT/$1"
  xdotool key Return
  wait_for_close "$dialog"
  # A click that comes the moment the dialog has gone can be lost: let the window
  # show the listing first, as a person would.
  wait_until_painted
}

# --- Scenes --------------------------------------------------------------------

# The window as it starts, with a device on COM1 and no program opened.
scene_start() {
  start_program
  focus_main_window
  shoot "$main" main-window
  stop_program
}

# The full example opened and listed.
scene_program_listed() {
  start_program
  open_program examples/full.obj
  focus_main_window
  shoot "$main" program-listed
  stop_program
}

# The port dialog in front of the window, offering COM1.
scene_port_dialog() {
  local dialog
  start_program
  open_program examples/full.obj
  click_button port
  dialog=$(wait_for_window 'Выбор порта связи')
  shoot "$main" port-dialog
  # "Нет" (Cancel) leaves the link on its port.
  xdotool mousemove --window "$dialog" 136 60 click 1
  wait_for_close "$dialog"
  stop_program
}

# The short example written over the full one the device holds, then verified.
scene_verify_ok() {
  local box
  start_program
  open_program examples/short.obj
  click_button write
  click_button verify
  box=$(wait_for_window '^Ixo Loader$' "$main")
  shoot "$main" verify-ok
  activate "$box"
  xdotool key Return
  wait_for_close "$box"
  stop_program
}

start_window_manager
scene_start
scene_program_listed
scene_port_dialog
scene_verify_ok
