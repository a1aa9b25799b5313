#!/bin/bash
# Builds the release zip: cross-builds Ostrel.exe and ostrel-cli.exe (preset windows) and packs
# them, stripped, with README.txt into build/windows/Ostrel-<version>-win64.zip, with
# Ostrel-<version>-win64.zip.sha256 beside it. Installs what is missing on Debian first.
# The programs are signed only when OSTREL_SIGN_PKCS12 names a certificate (and
# OSTREL_SIGN_PASSWORD_FILE, if set, its password): see packaging/sign.cmake.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/install-deps.sh
cmake --preset windows >/dev/null
# The two programs alone: the package target would build every test program as well.
cmake --build --preset windows --target Ostrel ostrel-cli
build="$root/build/windows"
(cd "$build" && cpack -G ZIP --config CPackConfig.cmake >/dev/null)
name="$(sed -n 's/^set(CPACK_PACKAGE_FILE_NAME "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")"
zip="$build/$name.zip"
[ -f "$zip" ] && [ -f "$zip.sha256" ] || { echo "cpack made no $zip" >&2; exit 1; }
signed="unsigned"
[ -n "${OSTREL_SIGN_PKCS12:-}" ] && signed="signed"
echo "$zip ($(stat -c %s "$zip") bytes, programs $signed)"
echo "$zip.sha256: $(cat "$zip.sha256")"
