#!/bin/bash
# Builds Ostrel and starts it: directly on Windows, under Wine elsewhere (on the user's display).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Ostrel
if [ -z "${DISPLAY:-}" ]; then
    echo "No display: set DISPLAY (or run under xvfb-run) to see the window." >&2
    exit 1
fi
exec scripts/wine-run build/windows/ui/Ostrel.exe
