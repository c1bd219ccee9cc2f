#!/bin/sh
# The README's first program and its backend "shout", as a reader copies them.
#   readme-test.sh extract README DIR
#     writes each code block that follows a line "<!-- example: FILE -->" into DIR/FILE,
#     blocks for one file one after the other; fails if there is none.
#   readme-test.sh run LABEL PROGRAM [RUNNER...]
#     runs the first program (PROGRAM, an absolute path) as the README does: with console,
#     with file (in a fresh working folder, where its log must hold the line), with shout
#     (which must lie beside it) and with a backend that is nowhere, and checks what each
#     prints; prints "hello ok: LABEL".
set -eu
fail() {
    echo "readme-test.sh: $*" >&2
    exit 1
}
case ${1:-} in
    extract)
        readme=$2 dir=$3
        mkdir -p "$dir"
        awk -v dir="$dir" '
            /^<!-- example: [^ ]+ -->$/ { file = dir "/" $3; expect = 1; next }
            expect && !/^```/ { print FILENAME ":" FNR ": no code block after the example line" > "/dev/stderr"; exit 1 }
            expect { expect = 0; inside = 1; written++; next }
            inside && /^```/ { inside = 0; next }
            inside { print > file }
            END { if (!written) { print FILENAME ": no example" > "/dev/stderr"; exit 1 } }
        ' "$readme"
        ;;
    run)
        label=$2 program=$3
        shift 3
        output=$("$@" "$program" 2>&1) || fail "$label: the first program failed: $output"
        echo "$output" | grep -q 'info \[Hello\] hello, world' || fail "$label: the console line is missing: $output"
        folder=$(mktemp -d "${TMPDIR:-/tmp}/tev-readme-test.XXXXXX")
        written=$(cd "$folder" && "$@" "$program" file 2>&1 && cat tev-framework.log) || written="failed: $written"
        rm -rf "$folder"
        echo "$written" | grep -q '\[Hello\] hello, world' || fail "$label: with file, the log holds: $written"
        output=$("$@" "$program" shout 2>&1) || fail "$label: with shout it failed: $output"
        echo "$output" | grep -q '^Hello (20): HELLO, WORLD' || fail "$label: shout's line is missing: $output"
        if output=$("$@" "$program" nowhere 2>&1); then
            fail "$label: a backend that is nowhere loaded: $output"
        fi
        echo "$output" | grep -q '^Unable to resolve function createBackend' ||
            fail "$label: a backend that is nowhere was told as: $output"
        echo "hello ok: $label"
        ;;
    *)
        sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//' >&2
        exit 2
        ;;
esac
