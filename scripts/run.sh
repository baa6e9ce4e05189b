#!/usr/bin/env bash
# Installs what is missing, builds, and starts Ixo Loader.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

ensure_build_packages
configure_and_build "$IXO_ROOT/build" >/dev/null
exec "$IXO_ROOT/build/src/app/ixo-loader" "$@"
