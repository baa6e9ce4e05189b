#!/usr/bin/env bash
# Installs what is missing, builds, and starts Ixo Loader.
#   scripts/run.sh              with a simulated IXO device on COM1
#   scripts/run.sh --hardware   on the real ports (COM1 is /dev/ttyS0 unless mapped)
set -euo pipefail
source "$(dirname "$0")/lib.sh"

usage() {
  echo "usage: scripts/run.sh [--hardware]"
  echo "Builds Ixo Loader in build/ and starts it beside a simulated IXO device on COM1,"
  echo "or with --hardware on the machine's own serial ports."
}

# The arguments are checked before anything is installed or built.
hardware=false
case "$#:${1:-}" in
  0:) ;;
  1:--hardware) hardware=true ;;
  1:--help | 1:-h) usage; exit 0 ;;
  *) echo "run.sh: unexpected arguments: $*" >&2; usage >&2; exit 2 ;;
esac

ensure_build_packages
echo "Building Ixo Loader in build/ (the first build takes a few minutes)..."
configure "$IXO_ROOT/build" >/dev/null
build "$IXO_ROOT/build"
loader="$IXO_ROOT/build/src/app/ixo-loader"
if $hardware; then
  exec "$loader"
fi
exec "$IXO_ROOT/scripts/with-sim.sh" "$loader"
