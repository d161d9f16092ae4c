#!/usr/bin/env bash
# Installs what is missing, builds the game and runs it (under Xvfb when there is no display).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh run

build=build/release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTOLVANE_TESTS=OFF
cmake --build "$build" -j "$(nproc)" --target tolvane

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$build/tolvane" "$@"
fi
exec "$build/tolvane" "$@"
