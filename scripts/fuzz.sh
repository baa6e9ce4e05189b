#!/usr/bin/env bash
# Builds the fuzz target with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs it on a copy of the corpus
# in fuzz/corpus. Fails on any crash, sanitizer report, leak or hang.
#   scripts/fuzz.sh [SECONDS]    how long to fuzz, default 60
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
cmake --build "$dir" --target object_text_fuzzer

# A fresh copy each run: the fuzzer adds what it finds to the folder it is given.
rm -rf "$dir/corpus" "$dir/artifacts"
mkdir -p "$dir/artifacts"
cp -R "$IXO_ROOT/fuzz/corpus" "$dir/corpus"
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# An input that takes over 10 s is a hang, and a failure.
"$dir/fuzz/object_text_fuzzer" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
  -artifact_prefix="$dir/artifacts/" "$dir/corpus"
