#!/bin/bash
# scripts/run.sh on a copy of itself beside stand-ins: a cmake that notes its calls, an
# install-deps.sh that does nothing, and a Wine that says what Wine says about drives.
# Usage: run_script_test.sh SOURCE_ROOT CASE
set -u
source_root="$1"
case_name="$2"
test_name="scripts.run_$case_name"
source "$source_root/tests/steps.sh"

work="$(mktemp -d /tmp/ostrel-run-script.XXXXXX)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/root/scripts" "$work/bin" "$work/prefix"
cp "$source_root/scripts/run.sh" "$source_root/scripts/wine-run" "$work/root/scripts/"
printf '#!/bin/bash\n' > "$work/root/scripts/install-deps.sh"
printf '#!/bin/bash\necho "cmake $*" >> "%s/cmake.calls"\n' "$work" > "$work/bin/cmake"
wine_noise='Read access denied for device L"\\??\\Z:\\", FS volume label and serial are not available.'
printf '#!/bin/bash\necho %q >&2\necho started >> "%s/wine.calls"\n' "$wine_noise" "$work" \
    > "$work/bin/wine64"
chmod +x "$work/root/scripts/"* "$work/bin/"*
touch "$work/prefix/system.reg"  # a prefix made already: wine-run goes straight to the program

run() {
    PATH="$work/bin:$PATH" WINE64="$work/bin/wine64" WINEPREFIX="$work/prefix" \
        bash "$work/root/scripts/run.sh" >"$work/out" 2>&1
}

case "$case_name" in
    display_checked_before_building)
        ( unset DISPLAY; run )
        status=$?
        [ "$status" -eq 1 ] && pass "no display: exit 1" || fail "no display: exit $status (want 1)"
        grep -q "No display" "$work/out" && pass "no display: said so" \
            || fail "no display: printed '$(cat "$work/out")'"
        [ ! -e "$work/cmake.calls" ] && pass "no display: nothing was built" \
            || fail "no display: cmake ran first: $(tr '\n' ';' < "$work/cmake.calls")"
        ;;
    wine_kept_out_of_the_terminal)
        DISPLAY=:0 run
        status=$?
        [ "$status" -eq 0 ] && pass "started: exit 0" || fail "started: exit $status"
        [ -e "$work/wine.calls" ] && pass "started: Wine ran" || fail "started: Wine did not run"
        if grep -q "Read access denied" "$work/out"; then
            fail "Wine's noise reached the terminal: $(cat "$work/out")"
        else
            pass "Wine's noise stayed out of the terminal"
        fi
        grep -q "Read access denied" "$work/root/build/windows/wine.log" 2>/dev/null \
            && pass "Wine's noise is in build/windows/wine.log" \
            || fail "Wine's noise is not in build/windows/wine.log"
        ;;
    *) fatal "unknown case $case_name" ;;
esac
[ "$failures" -eq 0 ]
