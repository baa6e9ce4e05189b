# Shared by the scripts that work the real window on a virtual X server: waiting,
# the window manager, finding windows and measuring their frames.
# Source it; the sourcing script defines fail MESSAGE, which ends it. The tools
# come from the packages lib.sh names in X11_PACKAGES.

X11_SCRIPTS=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
wm_pid= wrapper_pid= program_pid= main=

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

# poll_while_running PID LOG WHAT COMMAND...: runs COMMAND every 0.1 s until it
# succeeds, for as long as process PID runs: once it has ended, fails saying that
# WHAT did not happen, with what PID wrote to LOG. A busy machine only makes the wait
# longer; 300 s bound it should PID hang.
poll_while_running() {
  local pid=$1 log=$2 what=$3 deadline=$((SECONDS + 300))
  shift 3
  until "$@"; do
    kill -0 "$pid" 2>/dev/null || "$@" || fail "$what did not happen: $(cat "$log")"
    [ $SECONDS -lt $deadline ] || fail "$what did not happen in 300 s"
    sleep 0.1
  done
}

# start_window_manager FOLDER: starts openbox with its configuration in FOLDER and
# sets wm_pid. It draws captions and frames and gives the focus to the window that
# opens or is clicked, as a desktop does. Captions show the title only.
start_window_manager() {
  cat >"$1/openbox.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <theme>
    <name>Clearlooks</name>
    <titleLayout>L</titleLayout>
    <font place="ActiveWindow"><name>Liberation Sans</name><size>8</size></font>
    <font place="InactiveWindow"><name>Liberation Sans</name><size>8</size></font>
  </theme>
</openbox_config>
XML
  openbox --config-file "$1/openbox.xml" >"$1/openbox.log" 2>&1 &
  wm_pid=$!
  poll_while_running "$wm_pid" "$1/openbox.log" "the window manager's start" window_manager_running
}

window_manager_running() {
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

stop_window_manager() {
  if [ -n "${wm_pid:-}" ]; then
    kill "$wm_pid" 2>/dev/null || true
    wait "$wm_pid" 2>/dev/null || true
    wm_pid=
  fi
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

# frame_geometry ID: WIDTHxHEIGHT+X+Y of the window with the frame drawn round it
# (none without a window manager).
frame_geometry() {
  local x y w h left=0 right=0 top=0 bottom=0 extents
  read -r x y w h < <(xwininfo -id "$1" | awk '
    /Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
    /^  Width:/ {w = $NF} /^  Height:/ {h = $NF} END {print x, y, w, h}')
  extents=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | tr -d ,)
  if [[ "$extents" == *=* ]]; then
    read -r left right top bottom < <(awk '{print $3, $4, $5, $6}' <<<"$extents")
  fi
  echo "$((w + left + right))x$((h + top + bottom))+$((x - left))+$((y - top))"
}

# settled_frame_geometry ID: the frame geometry once it has stayed the same for
# half a second (a window manager may still be placing the window).
settled_frame_geometry() {
  local deadline=$((SECONDS + 10)) before after
  before=$(frame_geometry "$1")
  while :; do
    sleep 0.5
    after=$(frame_geometry "$1")
    if [ "$after" = "$before" ]; then
      echo "$after"
      return 0
    fi
    [ $SECONDS -lt $deadline ] || fail "window $1 kept changing its place or size"
    before=$after
  done
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

# shoot_window ID FILE: once the screen is still, photographs where window ID and
# its frame are (with whatever dialog stands in front of it) into FILE, a PNG.
shoot_window() {
  wait_until_painted
  import -window root -crop "$(frame_geometry "$1")" +repage "$2"
}

# start_program_beside_device BUILD_DIR [WITH_SIM_OPTIONS...]: starts BUILD_DIR's
# ixo-loader beside a simulated device on COM1 (with-sim.sh) and waits for its
# window; sets main (the window's id), program_pid, and wrapper_pid (the script that
# stops the device when the program ends).
start_program_beside_device() {
  local build=$1
  shift
  # The toolkit writes a window's title for xdotool (WM_NAME) in the encoding of the
  # program's locale: started with none (LANG unset), a title that is not ASCII is
  # found by no search. A desktop session gives programs a UTF-8 one; so does this.
  LC_CTYPE=${LC_CTYPE:-C.UTF-8} QT_QPA_PLATFORM=xcb IXO_BUILD_DIR=$build \
    "$X11_SCRIPTS/with-sim.sh" "$@" "$build/src/app/ixo-loader" 2>/dev/null &
  wrapper_pid=$!
  poll 20 "the program's start" find_program
  main=$(wait_for_window '^Ixo Loader$')
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
