#!/usr/bin/env bash
# Compares the whole read-back and verify of two commits against the paced simulated
# device: builds device_bench of each into a folder of its own, runs them alternately
# PAIRS times (10 unless given), and prints each pair's times as ratios to the line
# time and the median of the per-pair ratios AFTER/BEFORE, so that the load of a
# shared machine falls on both alike.
#   bench/device/compare-commits.sh BEFORE AFTER [PAIRS]
# for example bench/device/compare-commits.sh HEAD~1 HEAD. On a busy machine, root
# can run the benchmarks (not the builds) at a real-time priority, which keeps
# other programs from delaying them: IXO_BENCH_RUN="chrt -f 10" bench/device/....
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 BEFORE AFTER [PAIRS]" >&2; exit 2; }
root=$(cd "$(dirname "$0")/../.." && pwd)
pairs=${3:-10}
work=$(mktemp -d /tmp/ixo-compare.XXXXXX)
trap 'rm -rf "$work"' EXIT

for side in before after; do
  commit=$([ "$side" = before ] && echo "$1" || echo "$2")
  mkdir -p "$work/$side"
  git -C "$root" archive "$commit" | tar -x -C "$work/$side"
  launcher=()
  if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
  CCACHE_BASEDIR="$work/$side" cmake -S "$work/$side" -B "$work/$side/build" -G Ninja \
    "${launcher[@]}" -DIXO_GUI=OFF -DIXO_TESTS=OFF -DIXO_BENCHMARKS=ON >/dev/null
  CCACHE_BASEDIR="$work/$side" cmake --build "$work/$side/build" --target device_bench >/dev/null
done

# One run of a side: "ReadBack=RATIO Verify=RATIO", each the mean of its runs that
# succeeded, as a ratio to the line time.
run() {
  ${IXO_BENCH_RUN:-} "$work/$1/build/bench/device/device_bench" --benchmark_format=json 2>/dev/null |
    python3 -c '
import json, sys
runs = json.load(sys.stdin)["benchmarks"]
print(" ".join("%s=%.4f" % (r["name"].split("/")[0], r["RatioToLineTime"]) for r in runs))'
}

for i in $(seq "$pairs"); do
  echo "$i before $(run before) after $(run after)"
done | tee "$work/pairs" | cat >&2
python3 - "$work/pairs" <<'EOF'
import statistics, sys
ratios = {}
for line in open(sys.argv[1]):
    fields = line.split()
    before = dict(f.split("=") for f in fields[2:4])
    after = dict(f.split("=") for f in fields[5:7])
    for name in before:
        ratios.setdefault(name, []).append(float(after[name]) / float(before[name]))
for name, values in ratios.items():
    print("%s: median after/before %.4f over %d pairs (min %.4f, max %.4f)"
          % (name, statistics.median(values), len(values), min(values), max(values)))
EOF
