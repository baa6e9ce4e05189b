#!/usr/bin/env bash
# Installs what is missing, builds, and starts Ixo Loader.
#   scripts/run.sh              with a simulated IXO device on COM1
#   scripts/run.sh --hardware   on the real ports (COM1 is /dev/ttyS0 unless mapped)
set -euo pipefail
source "$(dirname "$0")/lib.sh"

ensure_build_packages
configure_and_build "$IXO_ROOT/build" >/dev/null
loader="$IXO_ROOT/build/src/app/ixo-loader"
case "${1:-}" in
  --hardware) exec "$loader" ;;
  "") exec "$IXO_ROOT/scripts/with-sim.sh" "$loader" ;;
  *) echo "usage: scripts/run.sh [--hardware]" >&2; exit 2 ;;
esac
