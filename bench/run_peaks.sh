#!/bin/bash
# bench/run_peaks.sh [LINES]: the peak resident memory of ostrel-cli at each --memory-limit from
# 16 to 256 MiB, on a list of mostly distinct phrases (default 3,000,000 lines, 2,500,000 of
# them distinct), where what the runs' sorts and merges hold weighs most. Checks that each run
# peaks at most the limit and 8 MiB (24 MiB at 16) and gives the bytes and counts of the run
# without a limit. Lists go to $OSTREL_BENCH_DIR as in run.sh.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="${OSTREL_BENCH_DIR:-/tmp/ostrel-bench}"
lines="${1:-3000000}"
repeat=1

cd "$root"
source "$root/bench/generator.sh"
source "$root/bench/measure.sh"
build_release_cli
mkdir -p "$dir"
# Every sixth line repeats one met before, in a stride that spreads the repeats over the list.
input="$dir/distinct-$lines.txt"
[ -f "$input" ] || awk -v n="$lines" 'BEGIN { d = int(n * 5 / 6); for (k = 0; k < n; k++)
    printf "phrase %07d of keywords\r\n", (k * 7919) % d }' >"$input"
scratch="$(mktemp -d "$dir/scratch.XXXXXX")"
trap 'rm -rf "$scratch" "$dir"/peaks-*.txt' EXIT
export TMPDIR="$scratch"

cat "$input" >/dev/null
measure "$dir/peaks-free.txt" "$cli" --locale=C "$input" "$dir/peaks-free-out.txt"
printf '\n== %s: %s lines, %s MB ==\n' "$(basename "$input")" "$lines" \
    "$(calc "$(stat -c %s "$input") / 1048576")"
printf '%-16s %8s %10s %10s %6s\n' "--memory-limit" "wall s" "peak MiB" "allowed" ""
printf '%-16s %8s %10s %10s %6s\n' none "$wall" "$(calc "$peak / 1024")" - -
status=0
for mib in 16 32 64 128 256; do
    measure "$dir/peaks-$mib.txt" "$cli" --locale=C --memory-limit="$mib" "$input" \
        "$dir/peaks-$mib-out.txt"
    allowed=$(peak_allowed_mib "$mib")
    p=$(verdict "$peak / 1024 <= $allowed")
    if ! cmp -s "$dir/peaks-free-out.txt" "$dir/peaks-$mib-out.txt" ||
        ! cmp -s "$dir/peaks-free.txt" "$dir/peaks-$mib.txt"; then
        p="FAIL (differs from the run without a limit)"
    fi
    printf '%-16s %8s %10s %10s %6s\n' "$mib MiB" "$wall" "$(calc "$peak / 1024")" "$allowed" "$p"
    [ "$p" = PASS ] || status=1
done
[ -z "$(ls -A "$scratch")" ] || { echo "scratch files left behind: FAIL"; status=1; }
exit $status
