#!/usr/bin/env bash
# The manual pages' examples are set as examples: on a narrow terminal each command
# line still reads as typed, neither spread out to the margin nor broken with a
# hyphen.
#   manual-examples-test.sh SOURCE_DIR
set -euo pipefail
root=$1
failed=0 checked=0
for page in "$root"/packaging/*.1; do
  shown=$(MANWIDTH=50 nroff -man -Tascii -rLL=50n "$page" 2>/dev/null | col -bx | sed 's/^ *//')
  # The lines between .EX and .EE, with the escaped dashes as they are shown.
  while IFS= read -r line; do
    checked=$((checked + 1))
    if ! grep -qxF -- "$line" <<<"$shown"; then
      echo "FAIL: $(basename "$page"): example not shown as typed: $line" >&2
      failed=$((failed + 1))
    fi
  done < <(sed -n '/^\.EX$/,/^\.EE$/{/^\.E[XE]$/d;s/\\-/-/g;p}' "$page")
done
[ "$checked" -gt 0 ] || { echo "FAIL: no examples found" >&2; exit 1; }
echo "manual examples: $checked checked, $failed not shown as typed"
[ "$failed" -eq 0 ]
