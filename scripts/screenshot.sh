#!/usr/bin/env bash
# Takes the README's screenshots of the real program on a virtual X server.
#   scripts/screenshot.sh [BUILD_DIR]     pictures go to docs/
# Builds ixo-loader and ixo-sim in BUILD_DIR (default build/) first. Each scene
# below starts the program beside a simulated device on COM1 (scripts/with-sim.sh,
# the device holding examples/full.obj), works it with the mouse and keyboard as a
# person would, photographs its window, and stops the program and the device again.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/x11.sh"

build=$(realpath -m "${1:-$IXO_ROOT/build}")
docs="$IXO_ROOT/docs"

if [ "${IXO_SCREENSHOT_INSIDE:-}" != 1 ]; then
  ensure_build_packages
  ensure_packages "${X11_PACKAGES[@]}" imagemagick
  [ -f "$build/build.ninja" ] || cmake -S "$IXO_ROOT" -B "$build" -G Ninja -DIXO_WERROR=ON >/dev/null
  cmake --build "$build" --target ixo-loader ixo-sim >/dev/null
  mkdir -p "$docs"
  # Run the scenes again inside a virtual screen of 1024 x 768 at 24 bits.
  exec env IXO_SCREENSHOT_INSIDE=1 xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96 -noreset" "$0" "$build"
fi

scratch=$(mktemp -d)
# The program runs in a folder of its own holding the examples, as a checkout
# would, so that no path of this machine shows in a picture.
demo=${IXO_SCREENSHOT_FOLDER:-/tmp/ixo-loader}
mkdir "$demo" 2>/dev/null || { echo "screenshot: $demo exists; remove it first" >&2; exit 1; }

cleanup() {
  stop_program
  stop_window_manager
  rm -rf "$scratch" "$demo"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
cp -r "$IXO_ROOT/examples" "$demo/"
cd "$demo"

# Says what went wrong and ends the script (or the command substitution it is in,
# which ends the script in turn).
fail() {
  echo "screenshot: $*" >&2
  exit 1
}

# --- Windows -----------------------------------------------------------------

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

# shoot ID NAME: photographs the screen where window ID and its frame are (with
# whatever dialog stands in front of it) into docs/NAME.png.
shoot() {
  shoot_window "$1" "$docs/$2.png"
  echo "wrote docs/$2.png"
}

# --- The program ---------------------------------------------------------------

# start_program [WITH_SIM_OPTIONS...]: as start_program_beside_device, then lets
# the window finish starting before it is touched.
start_program() {
  start_program_beside_device "$build" "$@"
  wait_until_painted
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

# open_program FILE: opens FILE (a path from the folder the program started in)
# with the Open button, typing it into the file dialog's name field.
open_program() {
  local dialog
  click_button open
  dialog=$(wait_for_window '^Open Object File')
  activate "$dialog"
  xdotool key ctrl+a
  xdotool type --delay 20 "$1"
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
  # Clicks made while the window talks to the device are dropped: wait for it.
  wait_until_painted
  click_button verify
  box=$(wait_for_window '^Ixo Loader$' "$main")
  shoot "$main" verify-ok
  activate "$box"
  xdotool key Return
  wait_for_close "$box"
  stop_program
}

# The device's program read back: the listing and the device's CW word.
scene_device_read() {
  start_program --cw ABCDEF01
  click_button read
  wait_until_painted
  focus_main_window
  shoot "$main" device-read
  stop_program
}

start_window_manager "$scratch"
scene_start
scene_program_listed
scene_port_dialog
scene_verify_ok
scene_device_read
