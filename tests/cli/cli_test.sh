#!/bin/bash
# cli_test.sh CLI CASE: runs one end-to-end case of ostrel-cli in a fresh temporary folder.
set -uo pipefail
cli="$1"
case_name="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() { echo "FAIL [$case_name]: $*" >&2; exit 1; }

# run ARGS...: runs the CLI, keeping stdout, stderr and the exit status.
run() {
    "$cli" "$@" >stdout.txt 2>stderr.txt
    status=$?
}

expect_status() {
    [ "$status" -eq "$1" ] || { cat stderr.txt >&2; fail "exit status $status, expected $1"; }
}

expect_stdout() {
    printf '%s' "$1" >expected_stdout
    cmp -s expected_stdout stdout.txt || { echo "stdout was:" >&2; cat stdout.txt >&2; fail "stdout differs"; }
}

# expect_file PATH BYTES: the file holds exactly the bytes (printf escapes).
expect_file() {
    [ -f "$1" ] || fail "$1 was not written"
    printf "$2" >expected_file
    cmp -s expected_file "$1" || { od -c "$1" >&2; fail "$1 differs from the expected bytes"; }
}

expect_stderr_has() {
    grep -qF -- "$1" stderr.txt || { cat stderr.txt >&2; fail "stderr lacks: $1"; }
}

case "$case_name" in
mixed_line_ends)
    # Case variants, apostrophes, blank and space-only lines, CR, LF and CRLF line ends, and a
    # last line with no line end.
    printf "Running Shoes\r\nrunning shoes\n  men's shoes\r   \r\n\nMen's Shoes  \r\nb\na\r  A  " >in.txt
    run in.txt out.txt
    expect_status 0
    expect_stdout $'Actual Keyword Phrases : 7\nFinal Keyword Phrases : 4\n'
    expect_file out.txt "a\r\nb\r\nmen's shoes\r\nRunning Shoes\r\n"
    ;;
repeats_keep_first)
    printf "b\na\nb\n  a  \n" >list.TXT
    run list.TXT out.txt
    expect_status 0
    expect_stdout $'Actual Keyword Phrases : 4\nFinal Keyword Phrases : 2\n'
    expect_file out.txt "a\r\nb\r\n"
    # The first occurrence is the one kept, whatever its letter case.
    printf "Blue Hat\nblue hat\nBLUE HAT\n" >x.txt.old
    run x.txt.old out2.txt
    expect_status 0
    expect_stdout $'Actual Keyword Phrases : 3\nFinal Keyword Phrases : 1\n'
    expect_file out2.txt "Blue Hat\r\n"
    ;;
empty_file)
    : >empty.txt
    run empty.txt out.txt
    expect_status 0
    expect_stdout $'Actual Keyword Phrases : 0\nFinal Keyword Phrases : 0\n'
    expect_file out.txt ""
    printf "  \n\r\n \n" >blank.txt
    run blank.txt out2.txt
    expect_status 0
    expect_stdout $'Actual Keyword Phrases : 0\nFinal Keyword Phrases : 0\n'
    ;;
missing_input)
    run nothere.txt out.txt
    expect_status 1
    expect_stderr_has "Error: Unable to open description file"
    [ -s stdout.txt ] && fail "counts printed for a failed run"
    [ -e out.txt ] && fail "output written for a failed run"
    ;;
input_without_txt)
    printf "a\n" >list.csv
    run list.csv out.txt
    expect_status 2
    expect_stderr_has "list.csv"
    [ -e out.txt ] && fail "output written for a refused input"
    ;;
output_gets_txt)
    printf "b\na\n" >in.txt
    run in.txt result
    expect_status 0
    expect_file result.txt "a\r\nb\r\n"
    [ -e result ] && fail "wrote 'result' as named"
    run in.txt RESULT.TXT
    expect_status 0
    expect_file RESULT.TXT "a\r\nb\r\n"
    run in.txt list.txt.bak
    expect_status 0
    expect_file list.txt.bak "a\r\nb\r\n"
    [ -e list.txt.bak.txt ] && fail "appended .txt to a name holding it"
    ;;
output_replaced)
    printf "old content that is longer\r\n" >out.txt
    printf "z\n" >in.txt
    run in.txt out.txt
    expect_status 0
    expect_file out.txt "z\r\n"
    ;;
unwritable_output)
    printf "a\n" >in.txt
    run in.txt no/such/folder/out.txt
    expect_status 1
    expect_stderr_has "Error: Unable to write file"
    [ -s stdout.txt ] && fail "counts printed for a failed save"
    ;;
usage)
    run --help
    expect_status 0
    grep -q "Usage: ostrel-cli INPUT OUTPUT" stdout.txt || fail "--help shows no usage"
    run -h
    expect_status 0
    run
    expect_status 2
    grep -q "Usage:" stderr.txt || fail "usage not on stderr for missing arguments"
    run a.txt b.txt c.txt
    expect_status 2
    ;;
*)
    fail "unknown case"
    ;;
esac
exit 0
