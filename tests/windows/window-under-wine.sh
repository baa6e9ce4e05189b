#!/usr/bin/env bash
# The window's cases on Windows under Wine, with the real Windows platform plugin on
# the X server of $DISPLAY, against simulated devices started here: one that answers
# on COM1, another on COM2, a silent one on COM3; the other ports the window probes
# lead nowhere. Each device traces what it receives for the cases to read.
#   window-under-wine.sh WINDOW_TESTS_EXE LINUX_IXO_SIM SOURCE_DIR
set -euo pipefail
exe=$1 SIM=$2 root=$3
source "$root/scripts/lib.sh"
source "$root/scripts/lib-wine.sh"
source "$root/tests/windows/sim-ports.sh"

if [ -z "${DISPLAY:-}" ]; then
  echo "no X server at \$DISPLAY for the window; run scripts/test-windows.sh" >&2
  exit 77
fi
start_sim 1 --trace --cw 0BADF00D
start_sim 2 --trace --cw 0BADF00D
start_sim 3 --trace --silent
for n in 4 5 6 7 8; do absent_port $n; done
IXO_TEST_PORTS="answering=1 other=2 silent=3 absent=4" IXO_TEST_TRACES="Z:$sim_work" \
  "$root/scripts/wine-run.sh" "$exe"
