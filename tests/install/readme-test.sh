#!/bin/sh
# The README's first program and its backend "shout", as a reader copies them.
#   readme-test.sh extract README DIR
#     writes each code block that follows a line "<!-- example: FILE -->" into DIR/FILE,
#     blocks for one file one after the other; fails if there is none.
#   readme-test.sh snippets README DIR
#     writes every other C++ block into DIR/lineN.cpp (N: the line of its fence), as a reader
#     pastes it: its declarations (includes, using, classes, functions) at file scope, its
#     statements inside main(); and where a block "<!-- output -->" follows it, what it prints
#     into DIR/lineN.out.
#   readme-test.sh run LABEL PROGRAM [RUNNER...]
#     runs the first program (PROGRAM, an absolute path) as the README does: with console,
#     with file (in a fresh working folder, where its log must hold the line), with shout
#     (which must lie beside it) and with a backend that is nowhere (whose files tried and
#     loader's reason it must print), and checks what each prints; prints "hello ok: LABEL".
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
    snippets)
        readme=$2 dir=$3
        mkdir -p "$dir"
        awk -v dir="$dir" '
            function flush(   i) {
                file = dir "/line" start ".cpp"
                for (i = 1; i <= nd; i++) print declared[i] > file
                print "int main()\n{" > file
                for (i = 1; i <= ns; i++) print "    " stated[i] > file
                print "}" > file
                close(file)
            }
            # A line that begins a declaration at file scope: a directive, a using, a class, or
            # a function defined (a name and its parameters, not ended by a semicolon).
            function declaration(line) {
                return line ~ /^(#|using |namespace |class |struct |enum |template)/ ||
                       (line ~ /^[A-Za-z_][A-Za-z0-9_:<>,*& ]*[ *&][A-Za-z_][A-Za-z0-9_:]*\(/ &&
                        line !~ /;[ \t]*(\/\/.*)?$/)
            }
            /^<!-- example: / { example = 1; next }
            /^<!-- output -->$/ { output = dir "/line" start ".out"; next }
            output && /^```/ { if (inside) { output = ""; close(out) } else out = output; inside = !inside; next }
            output && inside { print > out; next }
            /^```cpp$/ && example { example = 0; skip = 1; next }
            skip { if (/^```$/) skip = 0; next }
            /^```cpp$/ { inside = 1; start = FNR; nd = ns = depth = 0; indecl = 0; next }
            inside && /^```$/ { inside = 0; flush(); next }
            inside {
                if (indecl || (depth == 0 && declaration($0))) { declared[++nd] = $0; indecl = 1 }
                else if ($0 != "") stated[++ns] = $0
                opened = gsub(/\{/, "{"); closed = gsub(/\}/, "}"); depth += opened - closed
                if (indecl && depth == 0 && ($0 ~ /^#/ || $0 ~ /[;}][ \t]*(\/\/.*)?$/)) indecl = 0
                next
            }
            { example = 0 }
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
        output=$(printf '%s\n' "$output" | tr -d '\r') # Windows ends its lines in CR LF
        echo "$output" | grep -q "^backend 'nowhere' not loaded; files tried:" &&
            echo "$output" | grep -q '^  [^ ]*nowhere_ru\.[a-z]*$' &&
            echo "$output" | grep -q '^the loader says: .' ||
            fail "$label: a backend that is nowhere was told as: $output"
        echo "hello ok: $label"
        ;;
    *)
        sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//' >&2
        exit 2
        ;;
esac
