#!/usr/bin/env bash
# Bash completion of ixo: the words it offers for a few command lines, with the
# built ixo answering its --help as the installed one would.
#   completion-test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
root=$1 build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
PATH="$build/src/cli:$PATH"
# shellcheck source=/dev/null
source "$root/packaging/ixo.bash-completion"

cd "$work" || exit 1
mkdir folder
touch prog.obj prog.asm prog.txt "two words.obj"

failed=0 passed=0
# expect "COMMAND LINE" "WORDS OFFERED": the line is completed at its end (a
# trailing blank starts a new word); the words offered are sorted, one blank apart.
expect() {
    local line=$1 want=$2 got
    read -r -a COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _ixo 2>/dev/null
    got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd ' ')
    if [ "$got" = "$want" ]; then
        passed=$((passed + 1))
    else
        echo "FAIL: '$line': offered '$got', expected '$want'" >&2
        failed=$((failed + 1))
    fi
}

expect "ixo " "asm disable enable help list ports read select verify write"
expect "ixo wr" "write"
expect "ixo -p 2 re" "read"
expect "ixo read --" "--format --help --output --port --trace"
expect "ixo write --n" "--no-verify"
expect "ixo ports --" "--all --help --map --unmap"
expect "ixo help ve" "verify"
expect "ixo -p " "1 2 3 4 5 6 7 8 COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8"
expect "ixo read --port = C" "COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8"
expect "ixo list p" "prog.asm prog.obj"
expect "ixo verify --port 3 " "folder prog.asm prog.obj two words.obj"
expect "ixo read -o p" "prog.asm prog.obj"
expect "ixo list --format " "asm obj"
expect "ixo --format asm asm " "folder prog.asm"
expect "ixo select hall" 'Hall\ 1 Hall\ 2'
expect "ixo select Chorus/" 'Chorus/Room\ 1 Chorus/Room\ 2'
# After an opening quote the names go in as they are; the quote is not part of them.
expect 'ixo select "Ha' 'Hall 1 Hall 2'
expect "ixo select 'rot" 'Rotary speaker'
expect "ixo ports --unmap " "1 2 3 4 5 6 7 8"
expect "ixo enable " ""

echo "completion: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
