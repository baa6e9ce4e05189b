#!/usr/bin/env bash
# Measures the Windows link under Wine against simulated devices: a silent one, and
# one paced at 38400 bit/s. Run after scripts/test-windows.sh has built everything:
#   bench/windows/measure-under-wine.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/lib.sh"
source "$root/scripts/lib-wine.sh"
build="$root/build-windows"
SIM="$build/linux-sim/sim/ixo-sim"

trap wine_prefix_remove EXIT
wine_prefix_create "$(mktemp -d /tmp/ixo-wine.XXXXXX)"
source "$root/tests/windows/sim-ports.sh"
trap 'stop_sims; wine_prefix_remove' EXIT
start_sim 4 --silent
start_sim 5 --pace 38400
"$root/scripts/wine-run.sh" "$build/ixo/bench/windows/wine_link_measure.exe" 4 5
