#!/usr/bin/env bash
# Ending the programs by a signal lets go of the port: the window closes as if its
# close box were clicked, ixo ends its command, and a port either held opens again at
# once. A closed pipe ends ixo quietly, with SIGPIPE's status.
#   stop-signal-test.sh BUILD_DIR
set -euo pipefail
# Job control: background programs start with SIGINT and SIGQUIT as they are by
# default, not ignored as a shell without it leaves them.
set -m
build=$1
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen LC_ALL=C
ixo="$build/src/cli/ixo"

# Only COM1 and COM2 lead anywhere: to simulated devices.
for n in 3 4 5 6 7 8; do "$ixo" ports --map "$n" "$work/absent"; done
"$build/sim/ixo-sim" --port 1 >"$work/sim.out" &
pids+=($!)
"$build/sim/ixo-sim" --port 2 >"$work/sim2.out" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/sim.out" ] && [ -s "$work/sim2.out" ] && break; sleep 0.1; done
[ -s "$work/sim.out" ] && [ -s "$work/sim2.out" ] || fail "the simulated devices did not start"
tty1=$(cut -d' ' -f2 "$work/sim.out")
tty2=$(cut -d' ' -f2 "$work/sim2.out")

# Whether process $1 has the tty $2 open.
holds() { ls -l "/proc/$1/fd" 2>/dev/null | grep -q -- "-> $2\$"; }

# Waits for process $1 to end, as "wait" does, but for at most 20 s.
finish() {
  for _ in $(seq 200); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$1" 2>/dev/null && { kill -KILL "$1"; fail "process $1 did not end"; }
  wait "$1"
}

# Whether COMn ($1) opens now, without waiting.
port_free() { "$ixo" ports 2>/dev/null | grep -q "^$1	"; }

passed=0
for signal in TERM INT HUP QUIT PIPE; do
  "$build/src/app/ixo-loader" 2>"$work/app.err" &
  app=$!
  pids+=("$app")
  for _ in $(seq 200); do holds "$app" "$tty1" && break; sleep 0.1; done
  holds "$app" "$tty1" || fail "the window did not open COM1"
  kill -"$signal" "$app"
  status=0
  finish "$app" || status=$?
  number=$(kill -l "$signal")
  [ "$status" -eq $((128 + number)) ] ||
    fail "SIG$signal: the window ended with status $status: $(cat "$work/app.err")"
  port_free 1 || fail "SIG$signal: COM1 stayed held after the window closed"
  passed=$((passed + 1))
done

# ixo reading COM2, ended by a signal while it holds the port: it is stopped (SIGSTOP)
# once it has the port, sent the signal, and let go on (SIGCONT). A read that ends
# before it could be stopped is tried again.
for signal in QUIT TERM; do
  caught=no
  for _ in $(seq 20); do
    "$ixo" read --port 2 >"$work/ixo.out" 2>"$work/ixo.err" &
    reader=$!
    pids+=("$reader")
    while kill -0 "$reader" 2>/dev/null && ! holds "$reader" "$tty2"; do :; done
    kill -STOP "$reader" 2>/dev/null || true
    if holds "$reader" "$tty2"; then
      kill -"$signal" "$reader"
      kill -CONT "$reader"
      caught=yes
    else
      kill -CONT "$reader" 2>/dev/null || true
    fi
    status=0
    finish "$reader" || status=$?
    [ "$caught" = yes ] && break
    [ "$status" -eq 0 ] || fail "ixo read failed: $(cat "$work/ixo.err")"
  done
  [ "$caught" = yes ] || fail "SIG$signal: ixo could not be caught holding COM2"
  number=$(kill -l "$signal")
  [ "$status" -eq $((128 + number)) ] || fail "SIG$signal: ixo ended with $status: $(cat "$work/ixo.err")"
  [ "$(cat "$work/ixo.err")" = "ixo: read stopped by signal $number" ] ||
    fail "SIG$signal: ixo said: $(cat "$work/ixo.err")"
  port_free 2 || fail "SIG$signal: COM2 stayed held after ixo ended"
  passed=$((passed + 1))
done

# ixo waiting on standard input that stays open ends at once on a stop signal, with
# 128 + N and nothing written: a FIFO with a writer that never writes, and a
# terminal in which Ctrl+C is typed (script(1) runs ixo in one).
mkfifo "$work/in" "$work/keys"
exec 8<>"$work/in" 9<>"$work/keys"
# The process under $1, itself included, that runs ixo.
find_ixo() {
  local pid
  for pid in $1 $(pgrep -P "$1"); do
    [ "$(readlink "/proc/$pid/exe")" = "$(readlink -f "$ixo")" ] && { echo "$pid"; return 0; }
  done
  return 1
}
# Whether process $1 sleeps waiting for input; it does so only once it reads.
waiting() { [ "$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)" = S ]; }
# stopped_while_waiting SIGNAL COMMAND STATUS: COMMAND ended with STATUS on SIGNAL.
stopped_while_waiting() {
  local number
  number=$(kill -l "$1")
  [ "$3" -eq $((128 + number)) ] && [ ! -s "$work/ixo.out" ] &&
    [ "$(tr -d '\r' <"$work/ixo.err" | sed 's/^^C//')" = "ixo: ${2%% *} stopped by signal $number" ] ||
    fail "ixo $2 waiting on its input, SIG$1: status $3, said: $(cat "$work/ixo.err" "$work/ixo.out")"
  passed=$((passed + 1))
}
for command in "list -" "write -" "asm -"; do
  for signal in INT TERM HUP; do
    # shellcheck disable=SC2086
    "$ixo" $command <"$work/in" >"$work/ixo.out" 2>"$work/ixo.err" &
    waiter=$!
    pids+=("$waiter")
    for _ in $(seq 200); do waiting "$waiter" && break; sleep 0.1; done
    kill -"$signal" "$waiter"
    status=0
    finish "$waiter" || status=$?
    stopped_while_waiting "$signal" "$command" "$status"
  done
  # exec: the shell script(1) starts (dash when SHELL is unset) would stay as ixo's parent.
  script -qec "exec $ixo $command" /dev/null <"$work/keys" >"$work/ixo.err" 2>&1 &
  terminal=$!
  pids+=("$terminal")
  waiter=
  for _ in $(seq 200); do
    waiter=$(find_ixo "$terminal") && waiting "$waiter" && break
    sleep 0.1
  done
  [ -n "$waiter" ] || fail "ixo $command did not start in a terminal"
  printf '\003' >&9  # Ctrl+C
  status=0
  finish "$terminal" || status=$?
  : >"$work/ixo.out"
  stopped_while_waiting INT "$command" "$status"
done

# A reader that goes away: that of the trace, and that of the program read. Either
# run may finish before its reader has gone; it is tried again then.
set +o pipefail
for _ in $(seq 20); do
  "$ixo" --trace read --port 2 2>&1 >/dev/null | head -1 >"$work/head.out"
  status=${PIPESTATUS[0]}
  [ "$status" -eq 0 ] || break
done
[ "$status" -eq 141 ] || fail "ixo --trace read | head -1: ixo ended with $status"
grep -q 'purge' "$work/head.out" || fail "the trace's first line is missing: $(cat "$work/head.out")"
port_free 2 || fail "COM2 stayed held after ixo's trace lost its reader"
for _ in $(seq 20); do
  "$ixo" read --port 2 --output - 2>"$work/ixo.err" | true
  status=${PIPESTATUS[0]}
  [ "$status" -eq 0 ] || break
done
[ "$status" -eq 141 ] && ! grep -q '^ixo:' "$work/ixo.err" ||
  fail "ixo read --output - | true: ixo ended with $status and said: $(cat "$work/ixo.err")"
port_free 2 || fail "COM2 stayed held after ixo's output lost its reader"
# With SIGPIPE ignored from the start the write fails all the same: as quietly.
for _ in $(seq 20); do
  (trap '' PIPE; "$ixo" --help 2>"$work/ixo.err" | true; exit "${PIPESTATUS[0]}") && status=0 || status=$?
  [ "$status" -eq 0 ] || break
done
[ "$status" -eq 141 ] && [ ! -s "$work/ixo.err" ] ||
  fail "with SIGPIPE ignored, ixo --help | true: ixo ended with $status and said: $(cat "$work/ixo.err")"
passed=$((passed + 3))
echo "stop signals: $passed passed, 0 failed"
