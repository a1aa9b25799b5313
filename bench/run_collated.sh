#!/bin/bash
# bench/run_collated.sh [LINES]: times ostrel-cli in a language's order against its own
# code-point run and against `sort -f -u` in the same locale, on a generated list in five
# languages (default 10,000,000 lines, about 6,000,000 distinct), and checks that both orders
# keep the same phrases. Files go to $OSTREL_BENCH_DIR (default /tmp/ostrel-bench).
# OSTREL_BENCH_REPEAT=N runs each tool N times and keeps the fastest.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="${OSTREL_BENCH_DIR:-/tmp/ostrel-bench}"
lines="${1:-10000000}"
locale_name=en_US.UTF-8
max_own_ratio=1.6    # collated wall time / code-point wall time
max_sort_ratio=0.14  # collated wall time / sort's in the same locale
max_memory_ratio=2.5 # peak memory / file size
repeat="${OSTREL_BENCH_REPEAT:-1}"

sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
[ -x /usr/bin/time ] || $sudo_cmd apt-get install -y time >/dev/null
# sort needs the C library's locale; ostrel-cli needs none.
if ! locale -a 2>/dev/null | grep -qix 'en_US.utf8'; then
    echo "Generating the $locale_name locale for sort..." >&2
    dpkg -s locales >/dev/null 2>&1 || $sudo_cmd apt-get install -y locales >/dev/null
    echo "$locale_name UTF-8" | $sudo_cmd tee -a /etc/locale.gen >/dev/null
    $sudo_cmd locale-gen >/dev/null
fi

cd "$root"
source "$root/bench/generator.sh"
source "$root/bench/measure.sh"
build_release_cli
mkdir -p "$dir"
input="$(generated_list "$lines" gen_multilingual)"
bytes=$(stat -c %s "$input")

cat "$input" >/dev/null  # the same warm page cache for every tool
measure "$dir/c.stdout" env LC_ALL=C "$cli" "$input" "$dir/out-c.txt"
c_wall=$wall c_peak=$peak
measure "$dir/collated.stdout" env -u LC_ALL -u LC_COLLATE LANG=$locale_name \
    "$cli" "$input" "$dir/out-collated.txt"
o_wall=$wall o_peak=$peak
measure "$dir/out-sort.txt" env LC_ALL=$locale_name sort -f -u "$input"
s_wall=$wall s_peak=$peak

printf '\n== %s: %s lines, %s MB; %s ==\n' "$(basename "$input")" "$lines" \
    "$(calc "$bytes / 1048576")" "$(tr '\n' ';' <"$dir/collated.stdout")"
printf '%-36s %10s %10s\n' tool "wall s" "peak MB"
printf '%-36s %10s %10s\n' "LC_ALL=C ostrel-cli" "$c_wall" "$(calc "$c_peak / 1024")"
printf '%-36s %10s %10s\n' "LANG=$locale_name ostrel-cli" "$o_wall" "$(calc "$o_peak / 1024")"
printf '%-36s %10s %10s\n' "LC_ALL=$locale_name sort -f -u" "$s_wall" "$(calc "$s_peak / 1024")"

own_ratio=$(calc "$o_wall / ($c_wall > 0 ? $c_wall : 0.01)")
sort_ratio=$(calc "$o_wall / ($s_wall > 0 ? $s_wall : 0.01)")
size_ratio=$(calc "$o_peak * 1024 / $bytes")
echo "collated/code-point wall time: $own_ratio   target <= $max_own_ratio: $(verdict "$own_ratio <= $max_own_ratio")"
echo "collated/sort wall time:       $sort_ratio   target <= $max_sort_ratio: $(verdict "$sort_ratio <= $max_sort_ratio")"
echo "collated peak memory/file:     $size_ratio   target <= $max_memory_ratio: $(verdict "$size_ratio <= $max_memory_ratio")"
status=0
for ratio in "$own_ratio <= $max_own_ratio" "$sort_ratio <= $max_sort_ratio" \
             "$size_ratio <= $max_memory_ratio"; do
    awk "BEGIN { exit !($ratio) }" || status=1
done
# The order differs; the phrases kept and the counts do not.
if cmp -s "$dir/c.stdout" "$dir/collated.stdout" &&
   cmp -s <(LC_ALL=C sort "$dir/out-c.txt") <(LC_ALL=C sort "$dir/out-collated.txt"); then
    echo "check: both orders keep the same phrases and counts: PASS"
else
    echo "check: the two orders keep different phrases or counts: FAIL"
    status=1
fi
rm -f "$dir"/out-c.txt "$dir"/out-collated.txt "$dir"/out-sort.txt "$dir"/*.stdout
exit $status
