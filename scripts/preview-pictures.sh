#!/usr/bin/env bash
# The README's preview pictures: registers each architecture's Orrelin.dll in the build's
# Wine prefix with its own regsvr32, has dfushell.exe draw the preview of a two-target file
# and of a file with a broken CRC into a window on a virtual display, and saves the pixels.
# Both architectures' pictures go to build/preview/; the 64-bit ones are copied to docs/.
# Run after a build (scripts/demo.sh or cmake --build build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORRELIN_BUILD_DIR:-$root/build}
size=${ORRELIN_PREVIEW_SIZE:-400x520}
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a "$0" "$@"; fi

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$root/cmake/wine-prefix.sh" start "$WINEPREFIX" >/dev/null
trap '"$root/cmake/wine-prefix.sh" stop "$WINEPREFIX" >/dev/null' EXIT
winpath() { /usr/lib/wine/wine64 winepath -w "$1" 2>/dev/null; }
# The i686 pictures only where this machine runs 32-bit programs.
arches=(x86_64)
if "$root/cmake/runs-32bit.sh"; then arches+=(i686); else echo "The i686 pictures are left out." >&2; fi
out="$build/preview"
mkdir -p "$out" "$root/docs"

for arch in "${arches[@]}"; do
  if [ "$arch" = x86_64 ]; then loader=/usr/lib/wine/wine64; else loader=/usr/lib/wine/wine; fi
  bin="$build/$arch/bin"
  "$loader" regsvr32 /s "$(winpath "$bin/Orrelin.dll")"
  for name in two-targets crc-mismatch; do
    "$loader" "$bin/dfushell.exe" --preview "$(winpath "$bin/layout-samples/$name.dfu")" \
      --png "$(winpath "$out/$arch-$name.png")" --size "$size" | tr -d '\r' | grep '^Preview'
  done
  "$loader" regsvr32 /s /u "$(winpath "$bin/Orrelin.dll")"
done
for name in two-targets crc-mismatch; do
  cp "$out/x86_64-$name.png" "$root/docs/preview-$name.png"
  if [ "${#arches[@]}" -eq 1 ]; then
    echo "$name: docs/preview-$name.png"
  elif cmp -s "$out/x86_64-$name.png" "$out/i686-$name.png"; then
    echo "$name: i686 and x86_64 drew the same pixels; docs/preview-$name.png"
  else
    echo "$name: i686 and x86_64 drew different pixels; docs/preview-$name.png"
  fi
done
