#!/usr/bin/env bash
# ixo.exe's device commands under Wine against simulated devices started here: write,
# verify, read back into a file with a Cyrillic name, enable, disable, select; a
# silent device, an absent port, and the port map that Windows does not need; standard
# input, and an output that is the input under another name.
#   ixo-under-wine.sh IXO_EXE LINUX_IXO_SIM SOURCE_DIR
set -euo pipefail
exe=$1 SIM=$2 root=$3
source "$root/scripts/lib.sh"
source "$root/scripts/lib-wine.sh"
source "$root/tests/windows/sim-ports.sh"

failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

# ixo ARGS...: runs ixo.exe; its exit status in $status, its output in $out.
ixo() {
  status=0
  out=$("$root/scripts/wine-run.sh" "$exe" "$@" 2>&1) || status=$?
}
# ixo_device ARGS...: ixo for a device command. Each of its sends waits for the
# transmitter to empty within the send's time limit, 5 ms a byte; Wine ends that wait
# from a helper thread it starts, in 2 ms mostly but now and then, on a loaded
# machine, in more (Windows ends it as the last byte leaves), and then may end the
# process with a kill (137) rather than its status 1. Up to five tries, only when a
# send timed out; any other outcome counts at once.
ixo_device() {
  local try
  for try in 1 2 3 4 5; do
    ixo "$@"
    case "$status" in 1 | 137) ;; *) return 0 ;; esac
    grep -qF "Can't Write to COM port" <<<"$out" || return 0
    echo "note: '$*' timed out on try $try (Wine's transmitter-empty wait)" >&2
  done
}
# expect STATUS TEXT WHAT: the last ixo run ended with STATUS and said TEXT.
expect() {
  [ "$status" -eq "$1" ] && grep -qF -- "$2" <<<"$out" || fail "$3: status $status, said: $out"
}
# The bytes a simulated device has received, as hex, from its trace; a byte sent again
# by a retry shows once.
received() {
  awk '$2 == "recv" && $3 != last { printf "%s ", $3; last = $3 }' "$sim_work/sim$1.trace"
}

start_sim 11 --trace --cw 0BADF00D
start_sim 12 --silent
absent_port 13
# ixo ports tries COM1 to COM8: a device on COM2, nothing on the others.
start_sim 2
for n in 1 3 4 5 6 7 8; do absent_port $n; done

program="Z:$root/examples/full.obj"
ixo_device write --port 11 "$program"
expect 0 "" "write"
ixo_device verify --port 11 "$program"
expect 0 "Verify OK" "verify after write"

# Read back into a file named in Cyrillic: the same bytes as the program written,
# CR LF once per line.
copy="$sim_work/Копия.obj"
ixo_device read --port 11 -o "Z:$copy"
expect 0 "CW=0BADF00D" "read"
cmp -s "$copy" "$root/examples/full.obj" || fail "read -o: the saved copy differs from the program"
if od -An -tx1 "$copy" | tr -d '\n' | grep -q '0d 0d 0a'; then fail "read -o: 0D 0D 0A in the copy"; fi
ixo_device read --port 11 -o "Z:$copy"
expect 0 "CW=0BADF00D" "read saving over the same file again"

: >"$sim_work/sim11.trace"
ixo_device enable --port 11
expect 0 "" "enable"
ixo_device disable --port 11
expect 0 "" "disable"
ixo_device select --port 11 "Hall 1"
expect 0 "" "select"
# The device takes a byte a little after ixo has closed the port: it waits for them.
for _ in $(seq 100); do [ "$(received 11)" = "8A 89 90 " ] && break; sleep 0.1; done
[ "$(received 11)" = "8A 89 90 " ] || fail "enable, disable, select sent: $(received 11)"

# Standard input is read as it comes, CR LF and all.
status=0
out=$("$root/scripts/wine-run.sh" "$exe" list - <"$root/examples/full.obj" 2>&1) || status=$?
expect 0 "LFO0" "list - from standard input"
# No output over its own input, however it is named: another case, a hard link.
listing="$sim_work/prog.asm"
ixo_device read --port 11 -o "Z:$listing"
expect 0 "CW=0BADF00D" "read -o prog.asm"
cp "$listing" "$sim_work/kept.asm"
ln "$listing" "$sim_work/hard.obj"
for output in "Z:$sim_work/PROG.ASM" "Z:$sim_work/hard.obj"; do
  ixo asm "Z:$listing" -o "$output"
  expect 1 "the same file as the input" "asm -o $output"
done
cmp -s "$listing" "$sim_work/kept.asm" || fail "asm -o over its input changed it"

ixo_device read --port 12
expect 1 "No response from device at address 0" "read from a silent device"
ixo read --port 13
expect 1 "COM port not opened" "read from an absent port"
ixo ports
expect 0 '2	\\.\COM2' "ports"
[ "$(tr -d '\r' <<<"$out")" = '2	\\.\COM2' ] || fail "ports lists more than COM2: $out"
ixo ports --map 3 "Z:/dev/null"
expect 1 "no port map is needed on Windows" "ports --map"

[ $failures -eq 0 ] || exit 1
echo "ixo under Wine: all device commands passed"
