#!/usr/bin/env bash
# Fails, listing what differs, when a C++ file is not as clang-format and the
# repository's .clang-format would write it.
#   scripts/check-format.sh
set -euo pipefail
source "$(dirname "$0")/lib.sh"

ensure_packages clang-format git
cd "$IXO_ROOT"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
echo "Formatting: every C++ file as .clang-format writes it"
