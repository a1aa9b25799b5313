# Sourced by the benchmark scripts, with repeat set (runs per tool) and dir (for scratch):
# timing a command, and the arithmetic and verdicts of the reports.
[ -x /usr/bin/time ] || { echo "needs GNU time (/usr/bin/time): apt-get install time" >&2; exit 2; }
# measure OUT_STDOUT CMD...: runs CMD $repeat times with stdout to OUT_STDOUT; sets wall (s,
# the fastest run) and peak (KB, the largest).
measure() {
    local out="$1" best_wall="" best_peak=0 i
    shift
    for ((i = 0; i < repeat; i++)); do
        measure_once "$out" "$@"
        if [ -z "$best_wall" ] || awk "BEGIN { exit !($wall < $best_wall) }"; then
            best_wall=$wall
        fi
        [ "$peak" -gt "$best_peak" ] && best_peak=$peak
    done
    wall=$best_wall peak=$best_peak
}

measure_once() {
    local out="$1"
    shift
    local times="$dir/time.$$" errors="$dir/stderr.$$"
    if ! /usr/bin/time -f '%e %M' -o "$times" "$@" >"$out" 2>"$errors"; then
        echo "command failed: $*" >&2
        tail -n 5 "$errors" "$times" >&2
        return 1
    fi
    read -r wall peak < <(tail -n 1 "$times")
    rm -f "$times" "$errors"
}

calc() { awk "BEGIN { printf \"%.2f\", $1 }"; }
verdict() { awk "BEGIN { exit !($1) }" && echo PASS || echo FAIL; }

# peak_allowed_mib MIB: the most a run under --memory-limit=MIB may peak at, in MiB: the limit
# and the program's own 8 MiB; 24 MiB at the least limit, 16.
peak_allowed_mib() { if [ "$1" -le 16 ]; then echo 24; else echo $(($1 + 8)); fi; }
