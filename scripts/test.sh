#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   scripts/test.sh             the normal build, in build/
#   scripts/test.sh --sanitize  the same tests built with AddressSanitizer and
#                               UndefinedBehaviorSanitizer, in build-sanitize/
set -euo pipefail
source "$(dirname "$0")/lib.sh"

dir="$IXO_ROOT/build" options=()
if [ "${1:-}" = "--sanitize" ]; then
  dir="$IXO_ROOT/build-sanitize"
  options=(-DIXO_SANITIZE=ON -DIXO_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=Debug)
  # The tests that fake serial hardware run with umockdev's library preloaded, which
  # AddressSanitizer would otherwise refuse to start beside.
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:strict_string_checks=1:verify_asan_link_order=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export LSAN_OPTIONS="suppressions=$IXO_ROOT/scripts/lsan.supp:print_suppressions=0"
elif [ $# -gt 0 ]; then
  echo "usage: scripts/test.sh [--sanitize]" >&2
  exit 2
fi

ensure_build_packages
ensure_packages "${X11_PACKAGES[@]}"
configure_and_build "$dir" "${options[@]}"
cd "$dir"
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
