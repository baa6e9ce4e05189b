#!/usr/bin/env bash
# The run command's start-up path: the program finds the simulated device on COM1
# (holding the program it was given), the user's own port map is left alone, and
# afterwards the simulator has stopped and left nothing behind. Then the scripts'
# usage errors.
#   with-sim-test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
root=$1 build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

program="$work/program-$$.obj"
cp "$root/examples/short.obj" "$program"
mkdir -p "$work/user/ixo-loader/ports"
ln -s /dev/user-adapter "$work/user/ixo-loader/ports/com1"

ixo="$build/src/cli/ixo"
out=$(XDG_CONFIG_HOME="$work/user" TMPDIR="$work" IXO_BUILD_DIR="$build" \
      "$root/scripts/with-sim.sh" --load "$program" \
      sh -c '"$0" ports && "$0" verify "$1"' "$ixo" "$program" 2>"$work/err") \
  || fail "the program did not run: $(cat "$work/err")"

[[ "$out" =~ ^1$'\t'/dev/pts/[0-9]+$'\n'"Verify OK"$ ]] || fail "unexpected output: $out"
[ "$(readlink "$work/user/ixo-loader/ports/com1")" = /dev/user-adapter ] \
  || fail "the user's own port map was changed"
if compgen -G "$work/ixo-run-*" >/dev/null; then fail "the run's port map was left behind"; fi
if pgrep -f "ixo-sim --port 1 --load $program" >/dev/null; then fail "the simulator still runs"; fi
# Usage errors end with status 2 and say what is wrong, before anything is built
# or started.
for call in "with-sim.sh --load" "with-sim.sh" "run.sh --bogus" "run.sh --hardware extra"; do
  status=0
  # shellcheck disable=SC2086
  "$root/scripts/"$call >/dev/null 2>"$work/err" || status=$?
  [ "$status" -eq 2 ] && grep -q "usage: " "$work/err" || fail "$call: status $status, $(cat "$work/err")"
done
echo "with-sim: 2 passed, 0 failed"
