#!/usr/bin/env bash
# Builds the native core and both Windows architectures, then runs every test: the native
# ones directly, the Windows ones under Wine inside a virtual X display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORRELIN_BUILD_DIR:-$root/build}

# CI holds our code to no warnings at all.
warnings=()
if [ -n "${CI:-}" ]; then warnings=(-DORRELIN_WARNINGS_AS_ERRORS=ON); fi

cmake -S "$root" -B "$build" "${warnings[@]}"
cmake --build "$build" -j2
xvfb-run -a -s "-screen 0 1280x1024x24" \
  ctest --test-dir "$build" --output-on-failure -j2 "$@"
