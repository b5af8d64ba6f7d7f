#!/usr/bin/env bash
# The README's pictures of the tools menu's windows: registers each architecture's
# Orrelin.dll in the build's Wine prefix with its own regsvr32, has dfushell.exe choose
# "Make DFU file..." on a small Intel HEX build and "Compare" on two .dfu files from the
# registered context menu, and saves the window each opens (the dialog filled with example
# values; nothing is made). Both architectures' pictures go to build/workbench/; the 64-bit
# ones are copied to docs/. dfushell fails, and so does this script, when a window does not
# come. Run after a build (scripts/demo.sh or cmake --build build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORRELIN_BUILD_DIR:-$root/build}
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"; fi

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$root/cmake/wine-prefix.sh" start "$WINEPREFIX" >/dev/null
# Without a window manager on the virtual display, Wine draws the windows' frames and
# captions itself only when told to; told for dfushell.exe alone, for this run alone.
x11key='HKCU\Software\Wine\AppDefaults\dfushell.exe\X11 Driver'
/usr/lib/wine/wine64 reg add "$x11key" /v Decorated /d N /f >/dev/null
trap '/usr/lib/wine/wine64 reg delete "$x11key" /f >/dev/null 2>&1; "$root/cmake/wine-prefix.sh" stop "$WINEPREFIX" >/dev/null' EXIT
winpath() { /usr/lib/wine/wine64 winepath -w "$1" 2>/dev/null; }
arches=(x86_64)
if "$root/cmake/runs-32bit.sh"; then arches+=(i686); else echo "The i686 pictures are left out." >&2; fi
out="$build/workbench"
mkdir -p "$out/firmware" "$root/docs"
rm -f "$out"/*.png "$out/firmware"/*

# One Intel HEX record: count, address, type, data, checksum.
record() {
  local type=$1 address=$2 data=$3 count sum i
  count=$((${#data} / 2))
  sum=$((count + (address >> 8) + (address & 255) + type))
  for ((i = 0; i < ${#data}; i += 2)); do sum=$((sum + 16#${data:i:2})); done
  printf ':%02X%04X%02X%s%02X\r\n' "$count" "$address" "$type" "$data" $(((256 - (sum & 255)) & 255))
}
# An application at the start of an STM32's flash: two runs of 64 bytes with a gap.
{
  record 4 0 0800
  for address in 0 16 32 48 1024 1040 1056 1072; do
    record 0 "$address" "$(printf '%02X' $(seq $((address & 255)) $(((address & 255) + 15))) | tr -d '\n')"
  done
  record 1 0 ""
} >"$out/firmware/app.hex"
# Two releases of a firmware, side by side.
cp "$build/x86_64/bin/layout-samples/dfuse-pack.dfu" "$out/firmware/app-1.0.dfu"
cp "$build/x86_64/bin/layout-samples/two-targets.dfu" "$out/firmware/app-1.1.dfu"

for arch in "${arches[@]}"; do
  if [ "$arch" = x86_64 ]; then loader=/usr/lib/wine/wine64; else loader=/usr/lib/wine/wine; fi
  bin="$build/$arch/bin"
  "$loader" regsvr32 /s "$(winpath "$bin/Orrelin.dll")"
  "$loader" "$bin/dfushell.exe" --make-dialog "$(winpath "$out/firmware/app.hex")" \
    --png "$(winpath "$out/$arch-make-dfu-dialog.png")" | tr -d '\r'
  "$loader" "$bin/dfushell.exe" --compare "$(winpath "$out/firmware/app-1.0.dfu")" \
    "$(winpath "$out/firmware/app-1.1.dfu")" --png "$(winpath "$out/$arch-compare-window.png")" |
    tr -d '\r'
  "$loader" regsvr32 /s /u "$(winpath "$bin/Orrelin.dll")"
done
[ ! -e "$out/firmware/app.dfu" ] || { echo "the dialog made a file; it was only to be shown" >&2; exit 1; }
for name in make-dfu-dialog compare-window; do
  for arch in "${arches[@]}"; do
    [ -s "$out/$arch-$name.png" ] || { echo "$arch: no picture of the $name" >&2; exit 1; }
  done
  cp "$out/x86_64-$name.png" "$root/docs/$name.png"
  if [ "${#arches[@]}" -gt 1 ] && ! cmp -s "$out/x86_64-$name.png" "$out/i686-$name.png"; then
    echo "$name: i686 and x86_64 drew different pixels; docs/$name.png"
  else
    echo "$name: docs/$name.png"
  fi
done
