#!/bin/bash
# Builds Ostrel and starts it under Wine, on the user's X display. The display is checked before
# the build, which takes minutes. Wine's own messages (about devices, drives and its set-up, none
# of them Ostrel's) go to a log file, not the terminal; Ostrel itself reports in its window.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
if [ -z "${DISPLAY:-}" ]; then
    echo "No display: set DISPLAY (or run under xvfb-run) to see the window." >&2
    exit 1
fi
scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Ostrel
log="$root/build/windows/wine.log"
mkdir -p "$(dirname "$log")"
echo "Starting Ostrel; Wine's own messages go to $log"
exec scripts/wine-run build/windows/ui/Ostrel.exe >"$log" 2>&1
