#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix made by scripts/lib-wine.sh, and in no
# other: CTest's emulator for the Windows build. Refuses when WINEPREFIX is not such a
# prefix, or when any of its COM ports leads to a device other than a pty (a
# simulated device) or to something that exists but is not a pty.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/lib-wine.sh"

if [ -z "${WINEPREFIX:-}" ] || [ ! -e "$WINEPREFIX/$IXO_WINE_MARK" ]; then
  echo "wine-run: WINEPREFIX is not a prefix with its serial ports off; run scripts/test-windows.sh" >&2
  exit 125
fi
for name in $(wine_port_links); do
  target=$(readlink "$WINEPREFIX/dosdevices/$name" || true)
  case "$target" in
    /dev/pts/*) ;;
    *) if [ -e "$target" ]; then
         echo "wine-run: $name leads to $target, which is not a simulated device" >&2
         exit 125
       fi ;;
  esac
done
exec "$IXO_WINE" "$@"
