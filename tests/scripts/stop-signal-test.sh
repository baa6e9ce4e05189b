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

# Waits until "ixo ports" lists COM1 (free) or not (held), as $1 says.
wait_for() {
  for _ in $(seq 200); do
    if "$ixo" ports 2>/dev/null | grep -q '^1	'; then [ "$1" = free ] && return 0
    else [ "$1" = held ] && return 0; fi
    sleep 0.1
  done
  return 1
}

passed=0
for signal in TERM INT HUP; do
  "$build/src/app/ixo-loader" 2>"$work/app.err" &
  app=$!
  wait_for held || fail "the window did not open COM1"
  kill -"$signal" "$app"
  status=0
  wait "$app" || status=$?
  [ "$status" -eq 0 ] || fail "SIG$signal: the window ended with status $status: $(cat "$work/app.err")"
  wait_for free || fail "SIG$signal: COM1 stayed held after the window closed"
  passed=$((passed + 1))
done
echo "stop signals: $passed passed, 0 failed"
