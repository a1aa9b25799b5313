#!/bin/bash
# Runs a Windows test program under Wine at a display density of its own, in a prefix kept for
# that density alone: changing the density of a shared prefix would leak into the other tests.
# The prefix is made on first use (about 5 s); the test learns the density from OSTREL_TEST_DPI.
#
# Usage: at_density.sh DPI PREFIX PROGRAM [ARGUMENTS...]
set -euo pipefail
dpi="$1" prefix="$2"
shift 2
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
wine_run="$here/../../scripts/wine-run"
export WINEPREFIX="$prefix"
if [ ! -f "$prefix/.logpixels-$dpi" ]; then
    "$wine_run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
        >/dev/null 2>&1
    # The registry reaches the disk, and the next program sees the density, once the server ends.
    "${WINESERVER:-/usr/lib/wine/wineserver64}" -w
    touch "$prefix/.logpixels-$dpi"
fi
OSTREL_TEST_DPI="$dpi" exec "$wine_run" "$@"
