#!/usr/bin/env bash
# The floors check passes the checkout, and fails a copy of it with an include that
# runs up a floor, a Qt header below the window, or includes in a circle.
#   check-floors-test.sh SOURCE_DIR
set -euo pipefail
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# expect STATUS WORDS CASE: runs the check on the copy, which must end with STATUS
# and, when failing, say WORDS.
expect() {
  local said status=0
  said=$(bash "$root/scripts/check-floors.sh" "$work/copy" 2>&1) || status=$?
  if [ "$status" -ne "$1" ] || ! grep -qF -- "$2" <<<"$said"; then
    echo "FAIL: $3: status $status, said: $said" >&2
    failed=1
  fi
}
fresh() {
  rm -rf "$work/copy"
  mkdir -p "$work/copy"
  cp -r "$root/src" "$root/sim" "$work/copy/"
}

fresh
expect 0 "none in a circle" "the checkout"

fresh
echo '#include "project/ProgramImage.h"' >>"$work/copy/src/isa/Listing.h"
expect 1 "src/isa/Listing.h:" "isa including project"

fresh
echo '#include "link/Comport.h"' >>"$work/copy/src/ports/PortNames.h"
expect 1 "ports includes from link" "ports including link"

fresh
echo '#include <QString>' >>"$work/copy/src/cli/PortOption.cpp"
expect 1 "a Qt header below the window" "Qt in ixo"

fresh
echo '#include "core/ShownText.h"' >>"$work/copy/src/core/Failure.h"
echo '#include "core/Failure.h"' >>"$work/copy/src/core/ShownText.h"
expect 1 "in a circle" "a circle inside a floor"

fresh
mkdir "$work/copy/src/extras"
echo '#include "core/Failure.h"' >"$work/copy/src/extras/Extra.cpp"
expect 1 "on no floor" "a folder on no floor"

exit "$failed"
