#!/usr/bin/env bash
# Runs a program beside a simulated IXO device on COM1, so that every device command
# can be tried without hardware. The simulator gets a port map of its own for this
# run (the user's own map is left alone), holds an example program, and stops when
# the program ends.
#   scripts/with-sim.sh [--load FILE.obj] [--cw WORD] PROGRAM [ARGUMENTS...]
# --cw gives the device's CW word (eight hex digits; 00000000 unless given).
set -euo pipefail
source "$(dirname "$0")/lib.sh"

usage() {
  echo "with-sim.sh: $1" >&2
  echo "usage: scripts/with-sim.sh [--load FILE.obj] [--cw WORD] PROGRAM [ARGUMENTS...]" >&2
  exit 2
}

load="$IXO_ROOT/examples/full.obj" cw=()
while [ $# -gt 0 ]; do
  case $1 in
    --load | --cw)
      [ $# -ge 2 ] && [ -n "$2" ] || usage "$1 needs a value"
      if [ "$1" = --load ]; then load=$2; else cw=(--cw "$2"); fi
      shift 2
      ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || usage "no program given"
sim=${IXO_BUILD_DIR:-$IXO_ROOT/build}/sim/ixo-sim

config=$(mktemp -d "${TMPDIR:-/tmp}/ixo-run-XXXXXX")
sim_pid=
stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$config"
}
trap stop_sim EXIT
trap 'exit 130' INT TERM

export XDG_CONFIG_HOME=$config
"$sim" --port 1 --load "$load" "${cw[@]}" >"$config/sim.out" &
sim_pid=$!
# The simulator says where it is once it serves.
for _ in $(seq 1 200); do
  grep -q '^COM1 ' "$config/sim.out" 2>/dev/null && break
  kill -0 "$sim_pid" 2>/dev/null || { echo "the simulated device did not start" >&2; exit 1; }
  sleep 0.05
done
grep -q '^COM1 ' "$config/sim.out" || { echo "the simulated device did not start" >&2; exit 1; }
echo "Simulated IXO device on $(cat "$config/sim.out")" >&2

status=0
"$@" || status=$?
exit $status
