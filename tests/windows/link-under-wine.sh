#!/usr/bin/env bash
# The Windows link tests under Wine, each part played by a simulated device started
# here with the faults it needs.
#   link-under-wine.sh LINK_TESTS_EXE LINUX_IXO_SIM SOURCE_DIR
set -euo pipefail
exe=$1 SIM=$2 root=$3
source "$root/scripts/lib.sh"
source "$root/scripts/lib-wine.sh"
source "$root/tests/windows/sim-ports.sh"

cw=5A6B7C8D
start_sim 3 --cw $cw
start_sim 4 --silent
start_sim 6 --cw $cw --short 128 5
start_sim 8 --hang-up-after 3
start_sim 10 --cw $cw
absent_port 7
IXO_TEST_PORTS="answering=3 silent=4 short=6 hangup=8 high=10 absent=7" \
  "$root/scripts/wine-run.sh" "$exe"
