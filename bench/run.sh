#!/bin/bash
# bench/run.sh [LINES...]: times ostrel-cli against `sort -f -u` and awk on generated keyword
# lists (default 1,000,000 and 10,000,000 lines) and checks its result. Files go to
# $OSTREL_BENCH_DIR (default /tmp/ostrel-bench) and are reused while the generator is unchanged.
# OSTREL_BENCH_REPEAT=N runs each tool N times and keeps the fastest.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="${OSTREL_BENCH_DIR:-/tmp/ostrel-bench}"
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000000 10000000)
target_lines=10000000   # the file size the targets are set for
max_time_ratio=0.10     # ostrel wall time / sort wall time
max_memory_ratio=2.5    # ostrel peak memory / file size
repeat="${OSTREL_BENCH_REPEAT:-1}"  # runs per tool; the fastest wall time counts

if [ ! -x /usr/bin/time ]; then
    echo "Installing GNU time..." >&2
    sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    $sudo_cmd apt-get install -y time >/dev/null
fi

cd "$root"
source "$root/bench/generator.sh"
build_release_cli

mkdir -p "$dir"

source "$root/bench/measure.sh"

status=0
for lines in "${sizes[@]}"; do
    input="$(generated_list "$lines")"
    bytes=$(stat -c %s "$input")
    file_mb=$(calc "$bytes / 1048576")

    # Reference: trim spaces at both ends (after the CR of a CR LF), skip blank lines, fold case.
    read -r ref_nonblank ref_distinct < <(LC_ALL=C awk '
        { sub(/\r$/, ""); sub(/^ +/, ""); sub(/ +$/, "")
          if ($0 != "") { n++; if (!seen[tolower($0)]++) u++ } }
        END { print n + 0, u + 0 }' "$input")

    cat "$input" >/dev/null   # same warm page cache for every tool
    measure "$dir/ostrel.stdout" env LC_ALL=C "$cli" "$input" "$dir/out-ostrel.txt"
    o_wall=$wall o_peak=$peak
    measure "$dir/out-sort.txt" env LC_ALL=C sort -f -u "$input"
    s_wall=$wall s_peak=$peak
    measure "$dir/out-awk.txt" awk '!s[tolower($0)]++' "$input"
    a_wall=$wall a_peak=$peak

    printf '\n== %s: %s lines, %s MB; %s non-blank, %s distinct ==\n' \
        "$(basename "$input")" "$lines" "$file_mb" "$ref_nonblank" "$ref_distinct"
    printf '%-30s %10s %10s\n' tool "wall s" "peak MB"
    printf '%-30s %10s %10s\n' "ostrel-cli" "$o_wall" "$(calc "$o_peak / 1024")"
    printf '%-30s %10s %10s\n' "LC_ALL=C sort -f -u" "$s_wall" "$(calc "$s_peak / 1024")"
    printf '%-30s %10s %10s\n' "awk '!s[tolower(\$0)]++'" "$a_wall" "$(calc "$a_peak / 1024")"

    time_ratio=$(calc "$o_wall / ($s_wall > 0 ? $s_wall : 0.01)")
    peak_ratio=$(calc "$o_peak / $s_peak")
    size_ratio=$(calc "$o_peak * 1024 / $bytes")
    time_verdict=$(verdict "$time_ratio <= $max_time_ratio")
    size_verdict=$(verdict "$size_ratio <= $max_memory_ratio")
    note=""
    if [ "$lines" -ne "$target_lines" ]; then
        note=" (targets are set for the $target_lines-line file)"
    elif [ "$time_verdict" = FAIL ] || [ "$size_verdict" = FAIL ]; then
        status=1
    fi
    echo "ostrel/sort wall time:        $time_ratio   target <= $max_time_ratio: $time_verdict$note"
    echo "ostrel/sort peak memory:      $peak_ratio"
    echo "ostrel peak memory/file size: $size_ratio   target <= $max_memory_ratio: $size_verdict$note"

    out_lines=$(wc -l <"$dir/out-ostrel.txt")
    expected=$(printf 'Actual Keyword Phrases : %s\nFinal Keyword Phrases : %s' \
        "$ref_nonblank" "$ref_distinct")
    if [ "$out_lines" -eq "$ref_distinct" ] && [ "$(cat "$dir/ostrel.stdout")" = "$expected" ]; then
        echo "check: $out_lines output lines = $ref_distinct distinct, counts printed match: PASS"
    else
        echo "check: $out_lines output lines vs $ref_distinct distinct; ostrel printed:" \
            "$(tr '\n' ';' <"$dir/ostrel.stdout") expected $ref_nonblank/$ref_distinct: FAIL"
        status=1
    fi
done
rm -f "$dir/out-ostrel.txt" "$dir/out-sort.txt" "$dir/out-awk.txt" "$dir/ostrel.stdout"
exit $status
