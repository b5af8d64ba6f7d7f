#!/usr/bin/env bash
# The demo: installs what is missing, builds what it shows (the DLLs, the shell host and
# the stand-in wizard of one architecture, no tests), registers the 64-bit extension in the
# build's Wine prefix with the 64-bit regsvr32, makes a sample .dfu file, and drives the
# extension as Explorer would: the info tip, the download menu with its help texts, the
# default entry, which starts the (stand-in) upgrade wizard, the property store that the
# Details view and search read, and the preview pane's picture.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORRELIN_BUILD_DIR:-$root/build}
arch=${ORRELIN_DEMO_ARCH:-x86_64}

"$root/scripts/install-deps.sh"
# The preview pane draws into a window, and Wine's desktop takes the display it starts
# with: without one, the whole demo runs in a virtual display.
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a "$0" "$@"; fi
if [ "$arch" = x86_64 ]; then
  loader=/usr/lib/wine/wine64
else
  "$root/cmake/runs-32bit.sh" || { echo "The $arch demo needs a machine that runs 32-bit programs." >&2; exit 1; }
  loader=/usr/lib/wine/wine
fi
if ! "$root/cmake/runs-32bit.sh" 2>/dev/null; then
  # Debian's wine scripts fail here as they do on a machine that runs no 32-bit programs.
  export PATH="$root/cmake/no-32bit:$PATH"
fi
cmake -S "$root" -B "$build"
cmake --build "$build" --target "orrelin-$arch-configure"
cmake --build "$build/$arch" --target demo -j2

bin="$build/$arch/bin"
demo="$build/demo"
mkdir -p "$demo"
sample="$demo/Halvorn boot loader.dfu"
"$root/scripts/make-sample.sh" "$sample" "Halvorn boot loader 2.4"
echo "== Sample file, as dfu-suffix reads it"
dfu-suffix -c "$sample" | sed -n '/contains a DFU suffix/,$p'

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$root/cmake/wine-prefix.sh" start "$WINEPREFIX" >/dev/null
trap '"$root/cmake/wine-prefix.sh" stop "$WINEPREFIX" >/dev/null' EXIT
winpath() { /usr/lib/wine/wine64 winepath -w "$1" 2>/dev/null; }

echo
echo "== Registering $arch Orrelin.dll with the $arch regsvr32"
"$loader" regsvr32 /s "$(winpath "$bin/Orrelin.dll")"
echo "registered: $(winpath "$bin/Orrelin.dll")"

echo
echo "== The extension at work (dfushell.exe, a stand-in for Explorer)"
record="$demo/wizard.log"
rm -f "$record"
export ORRELIN_WIZARD_RECORD
ORRELIN_WIZARD_RECORD=$(winpath "$record")
"$loader" "$bin/dfushell.exe" --invoke-default "$(winpath "$sample")" | tr -d '\r'

echo
echo "== Its properties, as the Details view, the Details pane and search read them"
"$loader" "$bin/dfushell.exe" --properties "$(winpath "$sample")" | tr -d '\r'

echo
echo "== Its preview pane, drawn into a window and saved as a picture"
"$loader" "$bin/dfushell.exe" --preview "$(winpath "$sample")" \
  --png "$(winpath "$demo/preview.png")" | tr -d '\r'
echo "picture: $demo/preview.png"

# The wizard runs on its own; give it a moment to say how it was started.
for _ in $(seq 1 50); do [ -s "$record" ] && break; sleep 0.1; done
echo
echo "== The upgrade wizard was started with"
if [ -s "$record" ]; then cut -f4- "$record"; else echo "(no record: the wizard did not start)"; exit 1; fi
