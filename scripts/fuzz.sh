#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each on a copy of its corpus:
# the object text fuzzer on fuzz/corpus, the assembler fuzzer on fuzz/asm-corpus.
# Fails on any crash, sanitizer report, leak or hang.
#   scripts/fuzz.sh [SECONDS]    how long to fuzz in all, shared by the targets,
#                                default 60
set -euo pipefail
source "$(dirname "$0")/lib.sh"

seconds=${1:-60}
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ $# -gt 1 ]; then
  echo "usage: scripts/fuzz.sh [SECONDS]" >&2
  exit 2
fi

ensure_packages clang g++ cmake ninja-build
# libFuzzer and the sanitizer runtimes come in a package named after clang's major
# version, whichever version the system's clang is.
clang_major=$(clang -dumpversion | cut -d. -f1)
ensure_packages "libclang-rt-$clang_major-dev"
dir="$IXO_ROOT/build-fuzz"
cmake -S "$IXO_ROOT" -B "$dir" -G Ninja -DIXO_WERROR=ON -DCMAKE_CXX_COMPILER=clang++ \
  -DIXO_FUZZ=ON -DIXO_GUI=OFF -DIXO_TESTS=OFF -DIXO_BENCHMARKS=OFF
targets=(object_text_fuzzer:corpus assembler_fuzzer:asm-corpus)
cmake --build "$dir" --target "${targets[@]%%:*}"

export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
share=$(( (seconds + ${#targets[@]} - 1) / ${#targets[@]} ))
for target in "${targets[@]}"; do
  name=${target%%:*} corpus=${target#*:}
  # A fresh copy each run: the fuzzer adds what it finds to the folder it is given.
  rm -rf "$dir/$corpus" "$dir/artifacts-$name"
  mkdir -p "$dir/artifacts-$name"
  cp -R "$IXO_ROOT/fuzz/$corpus" "$dir/$corpus"
  # An input that takes over 10 s is a hang, and a failure.
  "$dir/fuzz/$name" -max_total_time="$share" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$dir/artifacts-$name/" "$dir/$corpus"
done
