#!/usr/bin/env bash
# Checks the floors from the include lines: no file includes from a floor above its
# own, no Qt header is included below the window, and no includes go round in a
# circle. The build enforces the same order by linking (src/CMakeLists.txt); this
# says which line breaks it.
#   scripts/check-floors.sh [ROOT]    ROOT: the checkout to check, this one by default
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

# Each floor, and the floors below it that it may include from besides its own.
declare -A below=(
  [core]=""
  [ports]="core"
  [link]="ports core"
  [isa]="core"
  [project]="isa core"
  [device]="project isa link ports core"
  [operations]="device project isa link ports core"
  [cli]="operations device project isa link ports core"
  [app]="operations device project isa link ports core"
  [sim]="device project isa link ports core"
)

failed=0 edges=$(mktemp)
trap 'rm -f "$edges"' EXIT
fail() {
  echo "$1" >&2
  failed=1
}

while IFS= read -r file; do
  floor=${file#src/}
  floor=${floor%%/*}
  if [ -z "${below[$floor]+set}" ]; then
    fail "$file: the folder $floor is on no floor: add it to scripts/check-floors.sh and src/CMakeLists.txt"
    continue
  fi
  echo "$file $file" >>"$edges"
  while IFS=: read -r line text; do
    if [[ $text =~ ^#include\ *\"([a-z]+)/([^\"]+)\" ]]; then
      to=${BASH_REMATCH[1]}
      if [ "$to" != "$floor" ] && [[ " ${below[$floor]} " != *" $to "* ]]; then
        fail "$file:$line: $floor includes from $to, which is not below it"
      fi
      target="${BASH_REMATCH[1]}/${BASH_REMATCH[2]}"
      [ "$to" = sim ] || target="src/$target"
      echo "$file $target" >>"$edges"
    elif [[ $text =~ ^#include\ *\<Q ]] && [ "$floor" != app ]; then
      fail "$file:$line: a Qt header below the window"
    fi
  done < <(grep -n '^ *#include' "$file" || true)
done < <(find src sim -type f \( -name '*.cpp' -o -name '*.h' \) | sort)

# tsort names the files of each circle it finds.
if ! tsort "$edges" >/dev/null 2>"$edges.loops"; then
  fail "includes that go round in a circle:"
  sed -e '/input contains a loop/d' -e 's/^tsort: /  /' "$edges.loops" >&2
fi
rm -f "$edges.loops"

[ "$failed" -eq 0 ] && echo "Floors: every include stays on its floor or goes down, none in a circle"
exit "$failed"
