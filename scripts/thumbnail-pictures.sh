#!/usr/bin/env bash
# The README's thumbnails: registers each architecture's Orrelin.dll in the build's Wine
# prefix with its own regsvr32, has dfushell.exe ask the thumbnail provider for a good, a
# broken and a two-target file at 48 and 256 pixels, and saves each picture over white.
# Both architectures' pictures go to build/thumbnail/; the 64-bit ones are copied to docs/.
# Run after a build (scripts/demo.sh or cmake --build build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORRELIN_BUILD_DIR:-$root/build}

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$root/cmake/wine-prefix.sh" start "$WINEPREFIX" >/dev/null
trap '"$root/cmake/wine-prefix.sh" stop "$WINEPREFIX" >/dev/null' EXIT
winpath() { /usr/lib/wine/wine64 winepath -w "$1" 2>/dev/null; }
arches=(x86_64)
if "$root/cmake/runs-32bit.sh"; then arches+=(i686); else echo "The i686 pictures are left out." >&2; fi
out="$build/thumbnail"
mkdir -p "$out" "$root/docs"
names=(plain crc-mismatch two-targets)

for arch in "${arches[@]}"; do
  if [ "$arch" = x86_64 ]; then loader=/usr/lib/wine/wine64; else loader=/usr/lib/wine/wine; fi
  bin="$build/$arch/bin"
  "$loader" regsvr32 /s "$(winpath "$bin/Orrelin.dll")"
  for name in "${names[@]}"; do
    for size in 48 256; do
      "$loader" "$bin/dfushell.exe" --thumbnail "$(winpath "$bin/layout-samples/$name.dfu")" \
        --png "$(winpath "$out/$arch-$name-$size.png")" --size "${size}x$size" | tr -d '\r' | grep '^Thumbnail'
    done
  done
  "$loader" regsvr32 /s /u "$(winpath "$bin/Orrelin.dll")"
done
for name in "${names[@]}"; do
  for size in 48 256; do
    picture="thumbnail-$name-$size.png"
    cp "$out/x86_64-$name-$size.png" "$root/docs/$picture"
    if [ "${#arches[@]}" -gt 1 ] && ! cmp -s "$out/x86_64-$name-$size.png" "$out/i686-$name-$size.png"; then
      echo "$name at $size: i686 and x86_64 drew different pixels; docs/$picture"
    else
      echo "$name at $size: docs/$picture"
    fi
  done
done
