#!/usr/bin/env bash
# Measures how long the window takes from its start to its first map on a virtual X
# server, against a bare Qt main window with a text control: started alternately,
# median of PAIRS pairs (15 unless given), with a simulated device on COM1 as a
# desk would have its device. Run after scripts/test.sh has built everything:
#   bench/window/measure-start.sh [PAIRS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${IXO_BUILD_DIR:-$root/build}
export IXO_BUILD_DIR=$build QT_QPA_PLATFORM=xcb
exec xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  "$root/scripts/with-sim.sh" "$build/bench/window/first_map_measure" "${1:-15}" \
  "$build/src/app/ixo-loader" "$build/bench/window/bare_window"
