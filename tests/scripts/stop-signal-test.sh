#!/usr/bin/env bash
# Ending the programs by SIGTERM, SIGINT or SIGHUP lets go of the port: the window
# closes as if its close box were clicked, and a port it held opens again at once.
#   stop-signal-test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen LC_ALL=C
ixo="$build/src/cli/ixo"

# Only COM1 leads anywhere: to the simulated device.
for n in 2 3 4 5 6 7 8; do "$ixo" ports --map "$n" "$work/absent"; done
"$build/sim/ixo-sim" --port 1 >"$work/sim.out" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
[ -s "$work/sim.out" ] || fail "the simulated device did not start"

device=$(sed -n 's/^COM1 //p' "$work/sim.out")

# Whether process $1 has the simulated device open.
holds() { [ -n "$(find "/proc/$1/fd" -lname "$device" 2>/dev/null)" ]; }

# Waits until the window holds COM1: seen on the window itself, never inferred from
# a port that does not open (which a slow start or another program may also cause).
wait_for_window() {
  for _ in $(seq 600); do holds "$1" && return 0; sleep 0.1; done
  return 1
}

# Whether COM1 is free: "ixo ports" opens it (no exclusive mark left) and lists it.
free() { "$ixo" ports 2>/dev/null | grep -q '^1	'; }

passed=0
for signal in TERM INT HUP; do
  "$build/src/app/ixo-loader" 2>"$work/app.err" &
  app=$!
  pids+=("$app")
  wait_for_window "$app" || fail "the window did not open COM1"
  kill -"$signal" "$app"
  for _ in $(seq 300); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$app" 2>/dev/null && fail "SIG$signal: the window did not close"
  status=0
  wait "$app" || status=$?
  [ "$status" -eq 0 ] || fail "SIG$signal: the window ended with status $status: $(cat "$work/app.err")"
  free || fail "SIG$signal: COM1 stayed held after the window closed"
  passed=$((passed + 1))
done
echo "stop signals: $passed passed, 0 failed"
