#!/usr/bin/env bash
# ixo-loader --help and --version print and exit without a display to open; more
# than one file or an unknown option is a usage error.
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
# usage_error WHAT EXPECT ARGUMENTS...: the program ends with status 2, saying EXPECT.
usage_error() {
  local what=$1 expect=$2 status=0
  shift 2
  QT_QPA_PLATFORM=offscreen "$program" "$@" >/dev/null 2>"$errors" || status=$?
  if [ $status -eq 2 ] && grep -q "^ixo-loader: $expect" "$errors"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $what: status $status, errors: $(cat "$errors")" >&2
  fi
}
usage_error "two files" "give at most one file" a.obj b.obj
usage_error "an unknown option" "unknown option --frobnicate" --frobnicate
echo "ixo-loader command line: $passed passed, $failed failed"
[ $failed -eq 0 ]
