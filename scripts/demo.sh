#!/usr/bin/env bash
# Installs what is missing, builds, makes a sample .dfu file with dfu-suffix and shows what
# the firmware engine reads from it, under Wine, for both architectures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORRELIN_BUILD_DIR:-$root/build}

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build"
cmake --build "$build" -j2

demo="$build/demo"
mkdir -p "$demo"
sample="$demo/sample.dfu"
seq 1 2000 > "$sample"
dfu-suffix -v 0483 -p df11 -d 2200 -a "$sample" >/dev/null
echo "== dfu-suffix -c $sample"
dfu-suffix -c "$sample"

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$root/cmake/wine-prefix.sh" start "$WINEPREFIX" >/dev/null
trap '"$root/cmake/wine-prefix.sh" stop "$WINEPREFIX" >/dev/null' EXIT
for arch in i686 x86_64; do
  echo
  echo "== $arch: dfuinfo.exe under Wine"
  "$build/$arch/wine-run" "$build/$arch/bin/dfuinfo.exe" "$(winepath -w "$sample" 2>/dev/null)"
done
