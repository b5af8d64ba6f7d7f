#!/usr/bin/env bash
# Builds the native core and both Windows architectures, then runs every test: the native
# ones directly, the Windows ones under Wine inside a virtual X display. Where this machine
# cannot run 32-bit programs (or ORRELIN_NO_32BIT=1 says so), the tests that need one are
# reported as skipped.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORRELIN_BUILD_DIR:-$root/build}

# CI holds our code to no warnings at all.
warnings=()
if [ -n "${CI:-}" ]; then warnings=(-DORRELIN_WARNINGS_AS_ERRORS=ON); fi

cmake -S "$root" -B "$build" "${warnings[@]}"
cmake --build "$build" -j2
if ! "$root/cmake/runs-32bit.sh"; then
  echo "The i686 tests and those of the 32-bit setup program are skipped."
  # Debian's wine scripts fail here as they do on such a machine, so no test leans on them.
  export PATH="$root/cmake/no-32bit:$PATH"
fi
xvfb-run -a -s "-screen 0 1280x1024x24" \
  ctest --test-dir "$build" --output-on-failure -j2 "$@"
