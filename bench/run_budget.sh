#!/bin/bash
# bench/run_budget.sh [LINES [MIB]]: a list far larger than a memory budget (default 30,000,000
# generated lines and --memory-limit=256) cleaned by ostrel-cli within the budget, against the
# same run without a budget and against `LC_ALL=C sort -f -u -S MIBM`, all in one run. Checks
# that the bounded run gives the unbounded run's bytes and counts, takes at most 0.5 x sort's
# wall time, and peaks at most the budget and 8 MiB. Lists go to $OSTREL_BENCH_DIR as in run.sh.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="${OSTREL_BENCH_DIR:-/tmp/ostrel-bench}"
lines="${1:-30000000}"
mib="${2:-256}"
max_time_ratio=0.5    # bounded ostrel wall time / sort -S wall time

cd "$root"
source "$root/bench/generator.sh"
source "$root/bench/measure.sh"
build_release_cli
mkdir -p "$dir"
input="$(generated_list "$lines")"
scratch="$(mktemp -d "$dir/scratch.XXXXXX")"
trap 'rm -rf "$scratch" "$dir"/budget-*.txt' EXIT
export TMPDIR="$scratch"

cat "$input" >/dev/null
measure_once "$dir/budget-free.txt" "$cli" "$input" "$dir/budget-free-out.txt"
f_wall=$wall f_peak=$peak
measure_once "$dir/budget-bounded.txt" "$cli" --memory-limit="$mib" "$input" \
    "$dir/budget-bounded-out.txt"
b_wall=$wall b_peak=$peak
measure_once "$dir/budget-sort.txt" env LC_ALL=C sort -f -u -S "${mib}M" -T "$scratch" "$input"
s_wall=$wall s_peak=$peak

printf '\n== %s: %s lines, %s MB, budget %s MiB ==\n' "$(basename "$input")" "$lines" \
    "$(calc "$(stat -c %s "$input") / 1048576")" "$mib"
printf '%-34s %10s %10s\n' tool "wall s" "peak MiB"
printf '%-34s %10s %10s\n' "ostrel-cli" "$f_wall" "$(calc "$f_peak / 1024")"
printf '%-34s %10s %10s\n' "ostrel-cli --memory-limit=$mib" "$b_wall" "$(calc "$b_peak / 1024")"
printf '%-34s %10s %10s\n' "LC_ALL=C sort -f -u -S ${mib}M" "$s_wall" "$(calc "$s_peak / 1024")"
status=0
time_ratio=$(calc "$b_wall / $s_wall")
peak_mib=$(calc "$b_peak / 1024")
allowed=$(peak_allowed_mib "$mib")
t=$(verdict "$time_ratio <= $max_time_ratio")
p=$(verdict "$peak_mib <= $allowed")
echo "bounded/sort wall time:   $time_ratio   target <= $max_time_ratio: $t"
echo "bounded peak MiB:         $peak_mib   target <= $allowed: $p"
echo "bounded/unbounded time:   $(calc "$b_wall / $f_wall")"
if cmp -s "$dir/budget-free-out.txt" "$dir/budget-bounded-out.txt" &&
    cmp -s "$dir/budget-free.txt" "$dir/budget-bounded.txt"; then
    echo "check: same bytes and counts as the unbounded run ($(tr '\n' ';' <"$dir/budget-free.txt")): PASS"
else
    echo "check: the bounded run differs from the unbounded one: FAIL"
    status=1
fi
[ "$t" = PASS ] && [ "$p" = PASS ] || status=1
[ -z "$(ls -A "$scratch")" ] || { echo "scratch files left behind: FAIL"; status=1; }
exit $status
