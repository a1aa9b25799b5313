#!/bin/bash
# cli_test.sh CLI CASE: runs one end-to-end case of ostrel-cli in a fresh temporary folder.
set -uo pipefail
cli="$1"
case_name="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() { echo "FAIL [$case_name]: $*" >&2; exit 1; }
# skip WHY: the case cannot run here (ctest reports 77 as skipped).
skip() { echo "SKIP [$case_name]: $*" >&2; exit 77; }

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

expect_no_temporary_file() {
    if compgen -G '~ostrel-*' >/dev/null; then ls -la >&2; fail "a temporary file was left behind"; fi
}

# mount_small_disk: a file system of 1 MiB at $disk, unmounted when the case ends (needs root).
mount_small_disk() {
    disk="$work/disk"
    mkdir "$disk"
    mount -t tmpfs -o size=1m tmpfs "$disk" 2>/dev/null || skip "no tmpfs can be mounted here"
    trap 'umount "$disk"; rm -rf "$work"' EXIT
}

# A list whose result takes a while to write, so that a signal can reach the save.
make_large_list() {
    seq 1 "$1" | sed 's/^/keyword phrase number /' >in.txt
}

# A list of 1000000 lines, 700000 of them distinct, about 28 bytes each: more than a 16 MiB
# budget holds. Repeats come back in another letter case, and the first occurrence stays.
make_distinct_list() {
    awk 'BEGIN {
        for (i = 0; i < 1000000; i++) {
            line = sprintf("keyword phrase %07d alpha", (i * 7919) % 700000)
            if (i % 3 == 1) line = toupper(line)
            else if (i % 3 == 2) line = "Keyword " substr(line, 9)
            print line
        }
    }' >in.txt
}

# A private temporary folder for the CLI's scratch files, removed with the work folder.
make_scratch_folder() {
    scratch="$(mktemp -d "$work/tmp.XXXXXX")"
}

# as_nobody COMMAND...: runs a command as an unprivileged user, to whom a folder can refuse new
# files (root may write anywhere); the work folder and scratch folder are opened to that user.
as_nobody() {
    chmod 0755 "$work"
    [ -n "${scratch:-}" ] && chmod 0777 "$scratch"
    setpriv --reuid=65534 --regid=65534 --clear-groups "$@"
}

# A list of 3,000,000 lines, 2,500,000 of them distinct: more than an automatic budget under
# a small address-space limit holds.
make_spilling_list() {
    awk 'BEGIN { for (i = 0; i < 3000000; i++) printf "phrase %07d of keywords\n", (i * 7919) % 2500000 }' >in.txt
}

expect_empty_folder() {
    [ -z "$(ls -A "$1")" ] || { ls -la "$1" >&2; fail "$1 is not empty"; }
}

# interrupt_save SIGNAL: starts a save of a large list over an old out.txt and sends SIGNAL
# once its temporary file exists; the CLI must remove that file and die of the signal.
interrupt_save() {
    make_large_list 2000000
    printf 'old\r\n' >out.txt
    set -m  # job control, so that a background job takes SIGINT like a foreground one
    "$cli" in.txt out.txt >stdout.txt 2>stderr.txt &
    local pid=$!
    # The bound is only there to end a broken run: reading the list comes first.
    local deadline=$((SECONDS + 600))
    while ! compgen -G '~ostrel-*.tmp' >/dev/null; do
        kill -0 "$pid" 2>/dev/null || break
        [ "$SECONDS" -lt "$deadline" ] || { kill -KILL "$pid"; fail "no temporary file appeared"; }
        sleep 0.005
    done
    kill -"$1" "$pid" 2>/dev/null
    wait "$pid"
    status=$?
    set +m
    [ "$status" -ne 0 ] || fail "the save ended before the signal; the list is too small here"
    expect_status $((128 + $(kill -l "$1")))
    expect_file out.txt 'old\r\n'
    expect_no_temporary_file
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
    grep -qF "Usage: ostrel-cli [--memory-limit=MIB] [--locale=NAME] [--] INPUT OUTPUT" stdout.txt || fail "--help shows no usage"
    run -h
    expect_status 0
    run
    expect_status 2
    grep -q "Usage:" stderr.txt || fail "usage not on stderr for missing arguments"
    run a.txt b.txt c.txt
    expect_status 2
    ;;
options_only_alone)
    # An option is one only as the only argument; anything else is two paths.
    printf "b\na\n" >in.txt
    run in.txt -h
    expect_status 0
    expect_stdout $'Actual Keyword Phrases : 2\nFinal Keyword Phrases : 2\n'
    expect_file ./-h.txt "a\r\nb\r\n"
    run --version in.txt
    expect_status 2
    expect_stderr_has '"--version"'
    # "--" first ends the options, so a path may start with a dash.
    printf "z\n" >./-h.txt
    run -- -h.txt out.txt
    expect_status 0
    expect_file out.txt "z\r\n"
    run -- --help
    expect_status 2
    grep -q "Usage:" stderr.txt || fail "usage not on stderr for one path after --"
    [ -s stdout.txt ] && fail "something printed for one path after --"
    run --
    expect_status 2
    run --bogus
    expect_status 2
    expect_stderr_has "unknown option: --bogus"
    grep -q "Usage:" stderr.txt || fail "usage not on stderr for an unknown option"
    ;;
memory_limit_option)
    printf "b\na\n" >in.txt
    for value in 15 abc "" -16 16x 18446744073709551616 17592186044416; do
        run "--memory-limit=$value" in.txt out.txt
        expect_status 2
        expect_stderr_has "Error: --memory-limit needs a whole number of MiB, at least 16: \"$value\""
        [ -s stdout.txt ] && fail "something printed for --memory-limit=$value"
        [ -e out.txt ] && fail "output written for --memory-limit=$value"
    done
    run --memory-limit in.txt out.txt
    expect_status 2
    [ -e out.txt ] && fail "output written for --memory-limit without a value"
    run --memory-limit=64 -- in.txt out.txt
    expect_status 0
    expect_stdout $'Actual Keyword Phrases : 2\nFinal Keyword Phrases : 2\n'
    expect_file out.txt "a\r\nb\r\n"
    # After the options, two paths are two paths whatever they look like.
    run --memory-limit=16 in.txt -h
    expect_status 0
    expect_file ./-h.txt "a\r\nb\r\n"
    printf "z\n" >./-m.txt
    run --memory-limit=16 -- -m.txt out2.txt
    expect_status 0
    expect_file out2.txt "z\r\n"
    run --memory-limit=16 --bogus in.txt out3.txt
    expect_status 2
    expect_stderr_has "unknown option: --bogus"
    [ -e out3.txt ] && fail "output written for an unknown option"
    ;;
locale_option)
    # A language's order from --locale, else from LC_ALL, LC_COLLATE or LANG; "C" or none set
    # is code-point order.
    printf '\xc3\xb6l\nzebra\n\xc3\xa4gg\n\xc3\xa5l\n' >in.txt
    swedish='zebra\r\n\xc3\xa5l\r\n\xc3\xa4gg\r\n\xc3\xb6l\r\n'
    german='\xc3\xa4gg\r\n\xc3\xa5l\r\n\xc3\xb6l\r\nzebra\r\n'
    points='zebra\r\n\xc3\xa4gg\r\n\xc3\xa5l\r\n\xc3\xb6l\r\n'
    unset LC_ALL LC_COLLATE LANG
    run --locale=sv-SE in.txt out.txt && expect_file out.txt "$swedish"
    LANG=de_DE.UTF-8 run in.txt out.txt && expect_file out.txt "$german"
    LANG=de_DE.UTF-8 LC_COLLATE=sv_SE.UTF-8 run in.txt out.txt && expect_file out.txt "$swedish"
    LANG=de_DE.UTF-8 LC_ALL=C.UTF-8 run in.txt out.txt && expect_file out.txt "$points"
    LANG=sv_SE.UTF-8 run --locale=C in.txt out.txt && expect_file out.txt "$points"
    run in.txt out.txt && expect_file out.txt "$points"
    rm out.txt
    run --locale=qq-ZZ in.txt out.txt
    expect_status 2
    expect_stderr_has "Unknown locale: qq-ZZ"
    [ -e out.txt ] && fail "output written for an unknown locale"
    LANG=qq_ZZ.UTF-8 run in.txt out.txt
    expect_status 0
    expect_stderr_has "Unknown locale: qq_ZZ.UTF-8; sorting by code point"
    expect_file out.txt "$points"
    ;;
abandoned_scratch_files)
    # Only a scratch file whose process is gone is removed: pid 1 runs, and the rest are not
    # names of scratch files, or not files.
    make_scratch_folder
    for name in ostrel-999999999-1.run ostrel-1-1.run ostrel-x-1.run notes.run; do
        printf 'run\n' >"$scratch/$name"
    done
    mkdir "$scratch/ostrel-999999998-1.run"
    printf "a\n" >in.txt
    TMPDIR="$scratch" run in.txt out.txt
    expect_status 0
    [ -e "$scratch/ostrel-999999999-1.run" ] && fail "the abandoned scratch file is still there"
    for name in ostrel-1-1.run ostrel-x-1.run notes.run ostrel-999999998-1.run; do
        [ -e "$scratch/$name" ] || fail "$name was removed"
    done
    ;;
bounded_run)
    # A budget too small for the list sorts it in runs on disk; the result is the same.
    make_distinct_list
    make_scratch_folder
    TMPDIR="$scratch" run in.txt unbounded.txt
    expect_status 0
    mv stdout.txt unbounded_stdout.txt
    TMPDIR="$scratch" run --memory-limit=16 in.txt bounded.txt
    expect_status 0
    expect_stdout $'Actual Keyword Phrases : 1000000\nFinal Keyword Phrases : 700000\n'
    cmp -s unbounded_stdout.txt stdout.txt || fail "the counts differ with a budget"
    cmp -s unbounded.txt bounded.txt || fail "the result differs with a budget"
    expect_empty_folder "$scratch"
    ;;
full_scratch_folder)
    # A temporary folder too small for the sorted runs: the run fails with a clear message,
    # writes nothing and leaves nothing there.
    [ "$(id -u)" -eq 0 ] || skip "mounting a small file system needs root"
    mount_small_disk
    make_distinct_list
    TMPDIR="$disk" run --memory-limit=16 in.txt out.txt
    expect_status 1
    expect_stderr_has "Not enough disk space in the temporary folder $disk"
    [ -s stdout.txt ] && fail "counts printed for a failed run"
    [ -e out.txt ] && fail "output written for a failed run"
    expect_no_temporary_file
    expect_empty_folder "$disk"
    ;;
in_place_peak)
    # Written over a file in a folder that takes no new file, the result goes through bounded
    # buffers, as a save through a temporary file does: no higher a peak than that save's.
    [ "$(id -u)" -eq 0 ] || skip "needs root, to drop to another user"
    make_distinct_list
    make_scratch_folder
    mkdir replaced in_place peaks
    chmod 0777 peaks
    printf 'old\r\n' >replaced/out.txt
    printf 'old\r\n' >in_place/out.txt
    chmod 0666 replaced/out.txt in_place/out.txt
    chmod 0777 replaced
    chmod 0555 in_place
    for folder in replaced in_place; do
        TMPDIR="$scratch" as_nobody /usr/bin/time -f %M -o "peaks/$folder" \
            "$cli" --memory-limit=16 in.txt "$folder/out.txt" >stdout.txt 2>stderr.txt
        status=$?
        expect_status 0
    done
    cmp -s replaced/out.txt in_place/out.txt || fail "the result written in place differs"
    [ "$(ls -A in_place)" = out.txt ] || fail "a file was left beside the target"
    expect_empty_folder "$scratch"
    [ "$(cat peaks/in_place)" -le $(($(cat peaks/replaced) + 8192)) ] ||
        fail "in place: peak $(cat peaks/in_place) KiB, through a temporary file $(cat peaks/replaced) KiB"
    ;;
in_place_full_disk)
    # A disk too small for a result written in place: the save is refused before the old
    # content is touched.
    [ "$(id -u)" -eq 0 ] || skip "needs root, to mount a small file system and drop to a user"
    mount_small_disk
    make_large_list 100000
    make_scratch_folder
    printf 'old\r\n' >"$disk/out.txt"
    chmod 0666 "$disk/out.txt"
    chmod 0555 "$disk"
    TMPDIR="$scratch" as_nobody "$cli" in.txt "$disk/out.txt" >stdout.txt 2>stderr.txt
    status=$?
    expect_status 1
    expect_stderr_has "Disk full while writing $disk/out.txt"
    expect_file "$disk/out.txt" 'old\r\n'
    expect_empty_folder "$scratch"
    ;;
address_space_limits)
    # Under an address-space limit the automatic budget plans for the address space a run
    # reserves: every limit gives the same bytes, a larger one never failing where a smaller
    # one works. A sanitized build reserves terabytes for its shadow memory and cannot run so.
    (ulimit -v 400000 && exec "$cli" --version) >/dev/null 2>&1 ||
        skip "this build cannot start under an address-space limit (sanitizers)"
    make_spilling_list
    make_scratch_folder
    TMPDIR="$scratch" run in.txt expected.txt
    expect_status 0
    for kib in 150000 200000 250000 300000 350000 400000 "200000 --memory-limit=48"; do
        set -- $kib
        (ulimit -v "$1" && TMPDIR="$scratch" exec "$cli" ${2:-} in.txt out.txt) >stdout.txt 2>stderr.txt
        status=$?
        [ "$status" -eq 0 ] || { cat stderr.txt >&2; fail "ulimit -v $kib: exit status $status"; }
        cmp -s expected.txt out.txt || fail "ulimit -v $kib: the result differs"
    done
    expect_empty_folder "$scratch"
    ;;
version)
    run --version
    expect_status 0
    expect_stdout "ostrel-cli ${OSTREL_EXPECTED_VERSION:?}"$'\n'
    [ -s stderr.txt ] && fail "stderr not empty"
    run --help
    grep -q -- "--version" stdout.txt || fail "the usage does not name --version"
    ;;
stdout_unwritable)
    printf "b\na\n" >in.txt
    "$cli" in.txt out.txt >/dev/full 2>stderr.txt
    status=$?
    expect_status 1
    expect_stderr_has "Error: standard output cannot be written: No space left on device"
    expect_file out.txt "a\r\nb\r\n"
    for option in --help --version; do
        "$cli" $option >/dev/full 2>stderr.txt
        status=$?
        expect_status 1
        expect_stderr_has "Error: standard output cannot be written: No space left on device"
    done
    ;;
file_size_limit)
    # A file-size limit below the result's size: the write raises SIGXFSZ.
    make_large_list 200000
    printf 'old\r\n' >out.txt
    (ulimit -f 1024 && exec "$cli" in.txt out.txt) >stdout.txt 2>stderr.txt
    status=$?
    expect_status $((128 + $(kill -l XFSZ)))
    expect_file out.txt 'old\r\n'
    expect_no_temporary_file
    ;;
hangup_ignored)
    # Started with SIGHUP ignored, as nohup starts a program, the CLI leaves it ignored: a
    # hang-up during the save neither ends it nor costs the result.
    make_large_list 2000000
    printf 'old\r\n' >out.txt
    (trap '' HUP && exec "$cli" in.txt out.txt) >stdout.txt 2>stderr.txt &
    pid=$!
    deadline=$((SECONDS + 600))  # only there to end a broken run
    while ! compgen -G '~ostrel-*.tmp' >/dev/null; do
        kill -0 "$pid" 2>/dev/null || break
        [ "$SECONDS" -lt "$deadline" ] || { kill -KILL "$pid"; fail "no temporary file appeared"; }
        sleep 0.005
    done
    kill -HUP "$pid" 2>/dev/null || fail "the save ended before the hang-up; the list is too small here"
    wait "$pid"
    status=$?
    expect_status 0
    expect_stdout $'Actual Keyword Phrases : 2000000\nFinal Keyword Phrases : 2000000\n'
    LC_ALL=C sort in.txt | sed 's/$/\r/' >expected_out.txt
    cmp -s expected_out.txt out.txt || fail "out.txt is not the sorted list"
    expect_no_temporary_file
    ;;
interrupted_TERM | interrupted_INT | interrupted_HUP)
    interrupt_save "${case_name#interrupted_}"
    ;;
*)
    fail "unknown case"
    ;;
esac
exit 0
