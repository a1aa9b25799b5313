#!/bin/bash
# Builds both configurations and runs every test: the native ones with AddressSanitizer and
# UBSan, the Windows ones under Wine on a private Xvfb display. The address-space limits are
# tried on the release ostrel-cli, as a sanitized program cannot start under them. The sources
# are checked too: clang-format's layout and clang-tidy's findings fail the command like a
# failing test.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/install-deps.sh
# The same results whatever the caller's locale: the tests that want a language name it, and
# Wine's programs get the en-US user locale that LANG=C.UTF-8 gives them.
unset LC_ALL LC_COLLATE
export LANG=C.UTF-8

cmake --preset linux >/dev/null
cmake --build --preset linux
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target ostrel-cli
cmake --preset windows >/dev/null
cmake --build --preset windows

source scripts/xvfb.sh
export WINEPREFIX="$root/build/wineprefix"
cleanup() {
    /usr/lib/wine/wineserver64 -k 2>/dev/null || true
    stop_xvfb
}
trap cleanup EXIT
start_xvfb
scripts/wine-run wineboot --init >/dev/null 2>&1 || true

status=0
echo "== Layout (clang-format) =="
if git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror; then
    echo "clang-format: no changes needed"
else
    status=1
fi
echo "== Static checks (clang-tidy) =="
scripts/tidy.sh || status=1
echo "== Native tests (AddressSanitizer + UBSan) =="
ctest --preset linux || status=1
echo "== Address-space limits (release ostrel-cli) =="
if bash tests/cli/cli_test.sh "$root/build/linux-release/cli/ostrel-cli" address_space_limits; then
    echo "address_space_limits: passed"
else
    echo "address_space_limits: FAILED"
    status=1
fi
echo "== Windows tests (under Wine) =="
ctest --preset windows || status=1
exit $status
