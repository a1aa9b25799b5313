#!/bin/bash
# Builds the libFuzzer target engine_fuzz with clang (AddressSanitizer + UBSan) in build/fuzz
# and runs it for the given number of seconds (default 600), starting from the seed corpus.
# New inputs go to build/fuzz/corpus; a disagreement or crash leaves its input in
# build/fuzz/artifacts and ends the run with a non-zero status. With ENGINE_FUZZ_KEEP_GOING=1
# each disagreement is printed (a line "finding: WHAT; ENCODING; ...") and the run goes on:
#   grep '^finding:' LOG | sort | uniq -c
#
#   tests/fuzz/run_libfuzzer.sh [SECONDS]
set -euo pipefail
seconds="${1:-600}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$root/build/fuzz"

cxx="$(command -v clang++ || command -v clang++-14)"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target engine_fuzz

mkdir -p "$build/corpus" "$build/artifacts"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
start=$(date +%s)
status=0
"$build/engine_fuzz" "$build/corpus" "$here/corpus" \
    -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=4096 \
    -artifact_prefix="$build/artifacts/" -print_final_stats=1 || status=$?
echo "engine_fuzz ran for $(( $(date +%s) - start )) s, exit status $status"
exit $status
