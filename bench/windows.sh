#!/bin/bash
# bench/windows.sh [LINES]: the Windows build (ostrel-cli.exe under Wine) against the native
# build on one generated list (default 10,000,000 lines), in one run, taking turns, and what
# makes the difference: the same native build without large pages, and wine_probe's reads,
# writes, memory and thread hand-offs, native and under Wine. Both builds sort in code-point
# order (--locale=C) there; the Windows build's sort in a language's order, through Windows'
# NLS, is timed against its own code-point run (--locale=en-US).
# OSTREL_BENCH_REPEAT=N (default 3) turns; the fastest of each counts.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="${OSTREL_BENCH_DIR:-/tmp/ostrel-bench}"
lines="${1:-10000000}"
repeat="${OSTREL_BENCH_REPEAT:-3}"
cd "$root"

echo "Building ostrel-cli (release) and ostrel-cli.exe (windows)..." >&2
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target ostrel-cli >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows --target ostrel-cli >/dev/null
native="$root/build/linux-release/cli/ostrel-cli"
windows="$root/build/windows/cli/ostrel-cli.exe"

mkdir -p "$dir"
source "$root/bench/generator.sh"
input="$(generated_list "$lines")"  # the same list as bench/run.sh's
probe="$dir/wine_probe" probe_exe="$dir/wine_probe.exe"
c++ -O2 -std=c++20 -pthread bench/wine_probe.cpp -o "$probe"
x86_64-w64-mingw32-g++-posix -O2 -std=c++20 -static bench/wine_probe.cpp -o "$probe_exe"

export WINEPREFIX="$root/build/wineprefix" WINEDEBUG=-all
wine=(scripts/wine-run)
wineserver=/usr/lib/wine/wineserver64
"${wine[@]}" "$probe_exe" start >/dev/null  # creates the prefix if needed
"$wineserver" -p || true  # stays up between the runs, so that no run pays for starting it
trap '"$wineserver" -k 2>/dev/null || true; rm -f "$dir/out-native.txt" "$dir/out-windows.txt" "$dir/out-collated.txt" "$dir/probe.bin"' EXIT

# No transparent huge pages for the command that follows (PR_SET_THP_DISABLE, inherited):
# native code with the 4 KiB pages that Wine's memory gets here.
small_pages=(python3 -c 'import ctypes, os, sys
if ctypes.CDLL(None, use_errno=True).prctl(41, 1, 0, 0, 0) != 0: sys.exit("prctl failed")
os.execvp(sys.argv[1], sys.argv[1:])')

# wall CMD...: the wall seconds CMD takes, its output dropped.
wall() {
    /usr/bin/time -f '%e' -o "$dir/wall.$$" "$@" >/dev/null 2>&1
    tail -n 1 "$dir/wall.$$"
    rm -f "$dir/wall.$$"
}
best() { printf '%s\n' "$@" | sort -g | head -n 1; }
calc() { awk "BEGIN { printf \"%.2f\", $1 }"; }

cat "$input" >/dev/null
start_native=() start_wine=() cli_native=() cli_small=() cli_wine=() cli_collated=()
declare -A probe_native probe_wine
probes=("read $input 4" "write $dir/probe.bin 1" "memory 256" "handoff 2000")
for ((i = 0; i < repeat; i++)); do
    start_native+=("$(wall "$probe" start)")
    start_wine+=("$(wall "${wine[@]}" "$probe_exe" start)")
    cli_native+=("$(wall "$native" --locale=C "$input" "$dir/out-native.txt")")
    cli_small+=("$(wall "${small_pages[@]}" "$native" --locale=C "$input" "$dir/out-native.txt")")
    cli_wine+=("$(wall "${wine[@]}" "$windows" --locale=C "$input" "$dir/out-windows.txt")")
    cli_collated+=("$(wall "${wine[@]}" "$windows" --locale=en-US "$input" "$dir/out-collated.txt")")
    for p in "${probes[@]}"; do
        # shellcheck disable=SC2086
        probe_native[$p]+=" $("$probe" $p 2>/dev/null)"
        # shellcheck disable=SC2086
        probe_wine[$p]+=" $("${wine[@]}" "$probe_exe" $p 2>/dev/null)"
    done
done
cmp -s "$dir/out-native.txt" "$dir/out-windows.txt" && same=PASS || same=FAIL

sn=$(best "${start_native[@]}") sw=$(best "${start_wine[@]}")
n=$(best "${cli_native[@]}") s=$(best "${cli_small[@]}") w=$(best "${cli_wine[@]}")
c=$(best "${cli_collated[@]}")
printf '\n== %s, fastest of %s ==\n' "$(basename "$input")" "$repeat"
printf '%-44s %8s %8s %8s\n' "" native wine ratio
printf '%-44s %8s %8s\n' "start a program that does nothing (s)" "$sn" "$sw"
printf '%-44s %8s %8s %8s\n' "ostrel-cli, the list (s)" "$n" "$w" "$(calc "$w / $n")"
printf '%-44s %8s %8s %8s\n' "  less Wine's start" "$n" "$(calc "$w - $sw")" \
    "$(calc "($w - $sw) / $n")"
printf '%-44s %8s %8s %8s\n' "ostrel-cli native, 4 KiB pages (s)" "$s" "$w" "$(calc "$w / $s")"
printf '%-44s %8s %8s %8s\n' "ostrel-cli.exe en-US order / code points (s)" "$w" "$c" \
    "$(calc "$c / $w")"
for p in "${probes[@]}"; do
    # shellcheck disable=SC2086
    pn=$(best ${probe_native[$p]}) pw=$(best ${probe_wine[$p]})
    printf '%-44s %8s %8s %8s\n' "probe ${p/$dir\//} (s)" "$pn" "$pw" "$(calc "$pw / $pn")"
done
echo "native and Windows results are the same bytes: $same"
[ "$same" = PASS ]
