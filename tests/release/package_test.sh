#!/bin/bash
# The release zip as a user gets it: its checksum file, its contents (unsigned, as without a
# certificate), and both programs run from the folder it is unpacked into, under Wine. The
# command-line tool cleans a small list; the window starts, shows its title and ends with its
# close image.
#
# Usage: package_test.sh ZIP VERSION VERSION_RESOURCE_TEST.exe
# DISPLAY and WINEPREFIX come from the caller (scripts/test.sh sets both). Prints one PASS or
# FAIL line per check; exits non-zero on any failure.
set -u

zip="${1:-}"
version="${2:-}"
version_test="${3:-}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
wine_run="$root/scripts/wine-run"

test_name=release.unpacked_zip
source "$root/tests/steps.sh"

[ -n "$version" ] && [ -f "$version_test" ] ||
    fatal "usage: package_test.sh ZIP VERSION VERSION_RESOURCE_TEST.exe"
[ -f "$zip" ] || fatal "no zip at '$zip': it is made by cpack (the test release.make_package)"
[ -n "${DISPLAY:-}" ] || fatal "DISPLAY is not set: run this through scripts/test.sh"
for tool in unzip sha256sum xdotool osslsigncode; do
    command -v "$tool" >/dev/null || fatal "$tool is not installed"
done

work="$(mktemp -d /tmp/ostrel-zip.XXXXXX)"
ostrel_pid=""
alive() {
    local stat
    [ -n "$1" ] && stat="$(cat "/proc/$1/stat" 2>/dev/null)" && [ -n "$stat" ] || return 1
    stat="${stat##*) }"
    [[ "$stat" != Z* && "$stat" != X* ]]
}
cleanup() {
    if [ -n "$ostrel_pid" ] && alive "$ostrel_pid"; then
        kill "$ostrel_pid" 2>/dev/null
        sleep 1
        alive "$ostrel_pid" && kill -9 "$ostrel_pid" 2>/dev/null
    fi
    [ -n "$ostrel_pid" ] && wait "$ostrel_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# ---- the zip and its checksum ----

name="$(basename "$zip")"
[ "$name" = "Ostrel-$version-win64.zip" ] && pass "the zip is named $name" ||
    fail "the zip is named '$name' (want Ostrel-$version-win64.zip)"
sums="$zip.sha256"
if [ -f "$sums" ] && [ "$(wc -l <"$sums")" -eq 1 ] &&
    (cd "$(dirname "$zip")" && sha256sum --check --status --strict "$(basename "$sums")") &&
    [ "$(sed 's/^[0-9a-f]\{64\}  //' "$sums")" = "$name" ]; then
    pass "$(basename "$sums") lies beside it and holds the zip's SHA-256 in sha256sum's format"
else
    fail "$(basename "$sums") is missing, not in sha256sum's format, or does not match"
fi

# ---- unpacked into an empty folder ----

folder="$work/Ostrel $version"
mkdir "$folder"
unzip -q "$zip" -d "$folder" || fatal "unzip could not unpack $name"
listing="$(cd "$folder" && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')"
if [ "$listing" = "Ostrel.exe README.txt ostrel-cli.exe " ]; then
    pass "unpacked: Ostrel.exe, ostrel-cli.exe and README.txt, nothing else"
else
    fail "unpacked: '$listing' (want Ostrel.exe, ostrel-cli.exe and README.txt)"
fi

readme="$folder/README.txt"
if [ -f "$readme" ] && head -n 1 "$readme" | grep -q "^Ostrel $version " &&
    ! grep -q $'[^\r]$' "$readme" && grep -qi "registry" "$readme"; then
    pass "README.txt names version $version, says nothing goes to the registry, ends lines with CR LF"
else
    fail "README.txt lacks the version, the word on the registry, or CR LF line ends"
fi

# The COFF symbol table that strip removes, and any section with a long (debug) name.
symbols() { # PE-FILE: number of COFF symbols
    local pe
    pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    od -An -tu4 -j$((pe + 16)) -N4 "$1" | tr -d ' '
}
debug_sections() { # PE-FILE: section names that are debug or string-table references
    local pe count optional table i
    pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    count=$(od -An -tu2 -j$((pe + 6)) -N2 "$1" | tr -d ' ')
    optional=$(od -An -tu2 -j$((pe + 20)) -N2 "$1" | tr -d ' ')
    table=$((pe + 24 + optional))
    for ((i = 0; i < count; i++)); do
        dd if="$1" bs=1 skip=$((table + 40 * i)) count=8 2>/dev/null | tr -d '\0'
        echo
    done | grep -E '^(/|\.debug)'
}
for exe in Ostrel.exe ostrel-cli.exe; do
    file="$folder/$exe"
    [ -f "$file" ] || continue
    n="$(symbols "$file")"
    if [ "$n" = 0 ] && [ -z "$(debug_sections "$file")" ]; then
        pass "$exe is stripped ($(stat -c %s "$file") bytes)"
    else
        fail "$exe still has $n symbols or debug sections: $(debug_sections "$file" | tr '\n' ' ')"
    fi
done

# Signed only when a certificate is given (release.signed_zip).
for exe in Ostrel.exe ostrel-cli.exe; do
    if osslsigncode extract-signature -in "$folder/$exe" -out "$work/signature" >/dev/null 2>&1; then
        fail "$exe is signed, although no certificate was given"
    else
        pass "$exe is not signed, as without a certificate"
    fi
done

if "$wine_run" "$version_test" "$version" "$(windows_path "$folder/Ostrel.exe")" \
    "$(windows_path "$folder/ostrel-cli.exe")" >"$work/version.log" 2>&1; then
    pass "both programs carry version $version after stripping"
else
    sed 's/^/    /' "$work/version.log"
    fail "the unpacked programs' version information is wrong"
fi

# ---- ostrel-cli.exe, run from the folder ----

lists="$work/lists"
mkdir "$lists"
printf 'Red Kite\r\nred kite\r\n  barn owl  \r\n\r\nKestrel\r\nBARN OWL\r\nkestrel' >"$lists/birds.txt"
(cd "$folder" && "$wine_run" ./ostrel-cli.exe "$(windows_path "$lists/birds.txt")" \
    "$(windows_path "$lists/unique.txt")" >"$work/cli.out" 2>"$work/cli.err")
status=$?
printf 'barn owl\r\nKestrel\r\nRed Kite\r\n' >"$work/expected.txt"
if [ "$status" -eq 0 ] && cmp -s "$lists/unique.txt" "$work/expected.txt" &&
    [ "$(tr -d '\r' <"$work/cli.out")" = $'Actual Keyword Phrases : 6\nFinal Keyword Phrases : 3' ]; then
    pass "ostrel-cli.exe cleaned a list: 6 phrases read, 3 unique, sorted, saved"
else
    fail "ostrel-cli.exe exited $status; stdout: $(tr '\r\n' '  ' <"$work/cli.out"); stderr: $(tr '\r\n' '  ' <"$work/cli.err")"
    [ -f "$lists/unique.txt" ] && od -c "$lists/unique.txt" | sed 's/^/    /'
fi

# A language's order by name, and code-point order by "C".
printf '\xc3\xb6l\r\nzebra\r\n\xc3\xa4gg\r\n\xc3\xa5l\r\n' >"$lists/swedish.txt"
orders_ok=1
for order in "sv-SE:zebra ål ägg öl" "de-DE:ägg ål öl zebra" "C:zebra ägg ål öl"; do
    (cd "$folder" && "$wine_run" ./ostrel-cli.exe "--locale=${order%%:*}" \
        "$(windows_path "$lists/swedish.txt")" "$(windows_path "$lists/sorted.txt")" \
        >/dev/null 2>&1)
    [ "$(tr '\r\n' '  ' <"$lists/sorted.txt" | tr -s ' ' | sed 's/ $//')" = "${order#*:}" ] ||
        orders_ok=0
done
if [ $orders_ok -eq 1 ]; then
    pass "ostrel-cli.exe --locale sorts in Swedish, in German, and by code point with C"
else
    fail "ostrel-cli.exe --locale: $(tr '\r\n' '  ' <"$lists/sorted.txt")"
fi

# ---- Ostrel.exe, started from the folder ----

(cd "$folder" && exec "$wine_run" ./Ostrel.exe) >"$work/window.log" 2>&1 &
ostrel_pid=$!
main=""
find_main() {
    main="$(xdotool search --all --onlyvisible --pid "$ostrel_pid" --name '^Ostrel$' 2>/dev/null | head -n 1)"
    [ -n "$main" ]
}
if poll 60 find_main; then
    pass "Ostrel.exe started from the folder and shows its window titled 'Ostrel'"
    # Its close image (16x16 at 279,4), pressed and released as a user would.
    xdotool mousemove --sync --window "$main" 286 11 2>/dev/null || xdotool mousemove --window "$main" 286 11
    xdotool click 1
    ended() { ! alive "$ostrel_pid"; }
    if poll 10 ended; then
        wait "$ostrel_pid"
        pass "Ostrel.exe ended by its close image (exit code $?)"
    else
        fail "Ostrel.exe is still running 10 s after a click on its close image"
    fi
else
    sed 's/^/    /' "$work/window.log"
    fail "Ostrel.exe showed no window 'Ostrel' within 60 s"
fi

echo "release.unpacked_zip: $failures failure(s)"
[ "$failures" -eq 0 ]
