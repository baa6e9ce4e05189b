# Wine prefixes that cannot reach this machine's serial ports. Source it after lib.sh.
#
# A fresh prefix maps COM1 to /dev/ttyS0, a real port that opens on these machines.
# Before the first program runs in a prefix, its registry already turns every COM
# number off (HKLM\Software\Wine\Ports "COMn"=""), so Wine's device manager makes no
# dosdevices/comN link for any port it finds; what it still makes beyond those numbers
# is removed before anything else runs. Tests then enter only their own ports, each a
# link to a simulated device's pty or to a path that does not exist.

# Numbers Wine's device manager knows (it takes COM1 to COM255 from the registry).
IXO_WINE_LAST_PORT=255
# Marks a prefix made here; scripts/wine-run.sh runs nothing in any other.
IXO_WINE_MARK=ixo-serial-ports-off

export WINEDEBUG=-all
# Wine gives Windows programs the machine's file names in the encoding of the locale
# it runs in: with none set (LANG unset), a name that is not ASCII cannot be made.
export LC_CTYPE=${LC_CTYPE:-C.UTF-8}
# Qt's own Windows font engine draws "MS Sans Serif", the window's face, without its
# capital I under Wine; the FreeType engine, which Qt for Windows carries, draws it.
# Only under Wine: on Windows the program keeps the system's engine.
export QT_QPA_PLATFORM=windows:fontengine=freetype
# No Mono, no Gecko, no desktop menu entries in a throw-away prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# The 64-bit loader itself: Debian's "wine" wrapper asks for the 32-bit one too.
IXO_WINE=/usr/lib/wine/wine64
[ -x "$IXO_WINE" ] || IXO_WINE=wine

# The comN entries of the prefix's dosdevices, one a line.
wine_port_links() {
  find "$WINEPREFIX/dosdevices" -maxdepth 1 -iname 'com*' -printf '%f\n' 2>/dev/null | sort
}

# Removes every comN entry that is not one of the names given.
wine_remove_port_links() {
  local name keep k
  for name in $(wine_port_links); do
    keep=0
    for k in "$@"; do [ "$name" = "$k" ] && keep=1; done
    [ $keep -eq 1 ] || rm -f "$WINEPREFIX/dosdevices/$name"
  done
}

# wine_prefix_create DIR: makes DIR a prefix with every COM port off, exports
# WINEPREFIX, and keeps its wineserver running until wine_prefix_remove, so that the
# device manager does not run again and drop the ports that tests enter.
wine_prefix_create() {
  export WINEPREFIX=$1 WINEARCH=win64
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  {
    printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n'
    printf '[Software\\\\Wine\\\\Ports]\n'
    for ((n = 1; n <= IXO_WINE_LAST_PORT; n++)); do printf '"COM%d"=""\n' "$n"; done
  } >"$WINEPREFIX/system.reg"
  wineserver -p >"$WINEPREFIX/wineserver.log" 2>&1
  # Output to a file: Wine's services inherit it and outlive wineboot.
  "$IXO_WINE" wineboot -i >"$WINEPREFIX/wineboot.log" 2>&1
  wine_remove_port_links
  if [ -n "$(wine_port_links)" ]; then
    echo "wine prefix $WINEPREFIX: serial ports still entered: $(wine_port_links)" >&2
    return 1
  fi
  touch "$WINEPREFIX/$IXO_WINE_MARK"
}

wine_prefix_remove() {
  [ -n "${WINEPREFIX:-}" ] && [ -e "$WINEPREFIX/$IXO_WINE_MARK" ] || return 0
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}

# wine_enter_port N TARGET: COMN leads to TARGET (a pty, or a path that does not exist).
wine_enter_port() {
  ln -sfn "$2" "$WINEPREFIX/dosdevices/com$1"
}
