#!/usr/bin/env bash
# ixo-loader --help and --version print and exit without a display to open.
#   command-line-test.sh PROGRAM VERSION
set -euo pipefail
program=$1 version=$2
passed=0 failed=0
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
check() {
  local what=$1 expect=$2 out err status=0
  shift 2
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" "$@" 2>"$errors") || status=$?
  err=$(cat "$errors")
  if [ $status -eq 0 ] && [ -z "$err" ] && [[ "$out" =~ $expect ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $what: status $status, output: $out, errors: $err" >&2
  fi
}
check "--version" "^ixo-loader \(Ixo Loader\) ${version//./\\.}"$'\n'"Copyright " --version
check "-V" "^ixo-loader \(Ixo Loader\) ${version//./\\.}"$'\n' -V
check "--help" "^Usage: ixo-loader .*--version  print the version and exit" --help
check "-h among other arguments" "^Usage: ixo-loader " -style fusion -h
echo "ixo-loader command line: $passed passed, $failed failed"
[ $failed -eq 0 ]
