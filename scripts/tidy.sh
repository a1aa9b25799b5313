#!/bin/bash
# Runs clang-tidy with the repository's .clang-tidy over the programs' sources: engine/, cli/
# and bench/ as the native build compiles them, win32/ and ui/ as the Windows build does.
# Prints what it finds; exits 1 on any finding. Files may be named to check only those. The
# files are shared among as many clang-tidy processes as there are cores.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/install-deps.sh

tidy=clang-tidy
command -v "$tidy" >/dev/null || tidy=clang-tidy-14
[ -f build/linux/compile_commands.json ] || cmake --preset linux >/dev/null
[ -f build/windows/compile_commands.json ] || cmake --preset windows >/dev/null

if [ $# -gt 0 ]; then
    files=("$@")
else
    mapfile -t files < <(git ls-files 'engine/*.cpp' 'cli/*.cpp' 'bench/*.cpp' 'win32/*.cpp' \
                                      'ui/*.cpp')
fi
native=()
windows=()
for f in "${files[@]}"; do
    case "$f" in
        win32/* | ui/*) windows+=("$f") ;;
        *) native+=("$f") ;;
    esac
done

# Clang reads the MinGW-w64 compiler's C++ library and Windows headers, with its own
# compiler headers in place of GCC's.
mingw=(--extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-nostdinc++)
while read -r dir; do
    case "$dir" in
        */c++*) mingw+=("--extra-arg=-isystem$dir") ;;
    esac
done < <(echo | x86_64-w64-mingw32-g++-posix -E -x c++ - -v 2>&1 |
         sed -n '/#include <...> search starts here:/,/End of search list./p')
mingw+=(--extra-arg=-isystem/usr/x86_64-w64-mingw32/include)

out="$(mktemp)"
trap 'rm -f "$out"' EXIT
status=0
if [ ${#native[@]} -gt 0 ]; then
    printf '%s\0' "${native[@]}" |
        xargs -0 -n 4 -P "$(nproc)" "$tidy" --quiet -p build/linux >>"$out" 2>/dev/null ||
        status=1
fi
if [ ${#windows[@]} -gt 0 ]; then
    printf '%s\0' "${windows[@]}" |
        xargs -0 -n 4 -P "$(nproc)" "$tidy" --quiet -p build/windows "${mingw[@]}" >>"$out" \
            2>/dev/null || status=1
fi
cat "$out"
if grep -q 'warning:\|error:' "$out"; then status=1; fi
[ $status -eq 0 ] && echo "clang-tidy: no findings in ${#files[@]} files"
exit $status
