#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh test

build=build/test
jobs=$(nproc)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTOLVANE_SANITIZE=ON -DTOLVANE_WERROR=ON
cmake --build "$build" -j "$jobs"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:halt_on_error=1:detect_stack_use_after_return=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
cd "$build"
# The window smoke test needs a display: without one, run the tests under a virtual X server.
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
        ctest --output-on-failure -j "$jobs" --timeout 300
fi
ctest --output-on-failure -j "$jobs" --timeout 300
