#!/usr/bin/env bash
# Measures how long the window takes under Wine from its start to its first map on a
# virtual X server, against a bare Qt main window with a text control built the same
# way against the same Qt for Windows: started alternately, median of the per-pair
# ratios over PAIRS pairs (15 unless given), with a simulated device on COM1 as a desk
# would have its device. Run after scripts/test-windows.sh has built everything:
#   bench/windows/measure-window-start.sh [PAIRS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/lib.sh"
source "$root/scripts/lib-wine.sh"
build="$root/build-windows"
SIM="$build/linux-sim/sim/ixo-sim"

if [ -z "${IXO_MEASURE_X:-}" ]; then
  ensure_packages xvfb xauth libxcb1-dev
  exec env IXO_MEASURE_X=1 xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$0" "$@"
fi

work=$(mktemp -d)
trap 'wine_prefix_remove; rm -rf "$work"' EXIT
# The measuring side is a Linux program watching the X server.
g++ -std=c++20 -O2 -o "$work/first_map_measure" "$root/bench/window/FirstMapMeasure.cpp" -lxcb
wine_prefix_create "$work/prefix"
source "$root/tests/windows/sim-ports.sh"
trap 'stop_sims; wine_prefix_remove; rm -rf "$work"' EXIT
start_sim 1
for n in 2 3 4 5 6 7 8; do absent_port $n; done

qt=$("$root/scripts/qt-windows.sh" --prefix)
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
export WINEPATH="Z:$qt/bin;Z:$runtime;Z:/usr/x86_64-w64-mingw32/lib"
for program in src/app/ixo-loader bench/windows/bare_window; do
  name=$(basename "$program")
  printf '#!/bin/sh\nexec "%s" "%s"\n' "$root/scripts/wine-run.sh" "$build/ixo/$program.exe" >"$work/$name"
  chmod +x "$work/$name"
done
"$work/first_map_measure" "${1:-15}" "$work/ixo-loader" "$work/bare_window"
