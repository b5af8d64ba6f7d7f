#!/usr/bin/env bash
# The benchmarks: builds what they need and prints their tables. Natively, the engine's .dfu
# check against dfu-suffix -c and a plain read of the same files, and the registry script
# interpreter; under Wine, for both architectures, Orrelin.dll's info tip, right-click,
# property store and registration. Not part of the test suite. Run it on an otherwise idle machine: the
# figures are medians, but two cores shared with a build still move them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${ORRELIN_BENCH_DIR:-$root/build-bench}
log="$out/build.log"

"$root/scripts/install-deps.sh"
# The preview's figures need a window, and Wine's desktop takes the display it starts with:
# without one, the whole run is in a virtual display.
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a "$0" "$@"; fi
mkdir -p "$out/files"
: >"$log"

build() {
  if ! "$@" >>"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "bench.sh: build step failed; the whole log is $log" >&2
    exit 1
  fi
}

# The i686 figures only where this machine runs 32-bit programs.
arches=(x86_64)
if "$root/cmake/runs-32bit.sh"; then arches+=(i686); else echo "The i686 figures are left out." >&2; fi

# The product's optimisation; natively without the sanitizers the test build adds.
build cmake -S "$root" -B "$out/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORRELIN_WINDOWS=OFF \
  -DORRELIN_FUZZ=OFF -DORRELIN_NATIVE_SANITIZERS=
build cmake --build "$out/native" -j2 --target orrelin_native_bench orrelin_dfutool_bench dfutool
for arch in "${arches[@]}"; do
  build cmake -S "$root" -B "$out/$arch" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch-w64-mingw32.cmake" \
    -DORRELIN_WINEPREFIX="$out/wineprefix"
  build cmake --build "$out/$arch" -j2 --target orrelin_shell_bench orrelin_shell_bench_double orrelin_engine_bench \
    orrelin_preview_bench orrelin_thumbnail_bench
done

native="$out/native/bench/orrelin_native_bench"
"$native" files "$out/files" >/dev/null
# Files just written would otherwise go to disk while the first figures are taken.
sync
files=()
for size in 16KiB 1MiB 64MiB 512MiB; do files+=("$out/files/dfu-$size.dfu"); done

export WINEPREFIX="$out/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Under Wine every file open and registry call is a request to wineserver, another process.
# On a virtual machine a request that has to wake the other, idle CPU waits a tenth of a
# millisecond or more for it, so figures would jump between runs; with the programs and the
# server on one CPU a request is a plain switch between two processes.
pin=(taskset -c 0)
"$root/cmake/wine-prefix.sh" stop "$WINEPREFIX" >/dev/null
"${pin[@]}" "$root/cmake/wine-prefix.sh" start "$WINEPREFIX" >/dev/null
winpath() { /usr/lib/wine/wine64 winepath -w "$1" 2>/dev/null; }
wine_run() { "${pin[@]}" "$out/$1/wine-run" "${@:2}"; }
# Each architecture's own regsvr32: a 32-bit one writes the 32-bit view of the registry.
regsvr() { wine_run "$1" regsvr32 /s "${@:2}"; }
unregister_all() {
  for arch in "${arches[@]}"; do regsvr "$arch" /u "$(winpath "$out/$arch/bin/Orrelin.dll")" || true; done
}
trap 'unregister_all; "$root/cmake/wine-prefix.sh" stop "$WINEPREFIX" >/dev/null' EXIT
# Left over from an interrupted run, a registration would stop the round-trip figure.
unregister_all

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
echo "# Orrelin benchmarks"
echo
echo "Machine: $(nproc) cores, $cpu; $(/usr/lib/wine/wine64 --version); $(uname -sr)."
echo "Load average at start: $(cut -d' ' -f1-3 /proc/loadavg). Commit $(git -C "$root" describe --always --dirty 2>/dev/null || echo unknown)."
echo "Medians of repeated runs (runs column); MB/s are 10^6 bytes per second; ratios are"
echo "throughputs measured side by side in the same run (above 1: the engine is faster)."
echo

echo "## The engine's .dfu check, native, files in the page cache"
echo
"$native" engine "${files[@]}"
echo
echo "## The CRC pass natively: read into a buffer in cache against a mapped view in windows"
echo
"$native" reads "${files[2]}" "${files[3]}"
echo
echo "## The engine's .dfu check under Wine (one CPU) against ReadFile, and its second look"
echo
header=(--header)
for arch in "${arches[@]}"; do
  for file in "${files[2]}" "${files[3]}"; do
    wine_run "$arch" "$out/$arch/bin/orrelin_engine_bench.exe" "${header[@]}" "$(winpath "$file")" | tr -d '\r'
    header=()
  done
done
echo
echo "## dfutool natively on 512 MiB files against cp, sha256sum and cmp, files in the page cache"
echo
echo "Ratios above 1: dfutool is faster. dfutool writes its output durably before it renames it"
echo "into place, so each make and extract is also set against cp followed by sync of the copy."
echo
mkdir -p "$out/files/dfutool"
"$out/native/bench/orrelin_dfutool_bench" "$out/native/tools/dfutool" "$out/files/dfutool"
echo
echo "## The registry script interpreter, native, in-memory registry"
echo
"$native" registry 10000
echo
echo "## Orrelin.dll under Wine (programs and wineserver on one CPU): its own time, beside the engine's test double"
echo
header=(--header)
for arch in "${arches[@]}"; do
  wine_run "$arch" "$out/$arch/bin/bench/orrelin_shell_bench_double.exe" "${header[@]}" \
    "$(winpath "${files[1]}")" | tr -d '\r'
  header=()
done
echo
echo "## Orrelin.dll under Wine (one CPU) with the real engine, registered by regsvr32"
echo
header=(--header)
for arch in "${arches[@]}"; do
  regsvr "$arch" "$(winpath "$out/$arch/bin/Orrelin.dll")"
  for file in "${files[@]}"; do
    wine_run "$arch" "$out/$arch/bin/orrelin_shell_bench.exe" "${header[@]}" "$(winpath "$file")" | tr -d '\r'
    header=()
  done
  regsvr "$arch" /u "$(winpath "$out/$arch/bin/Orrelin.dll")"
done
echo
echo "## The preview pane under Wine (one CPU, a virtual display), registered by regsvr32"
echo
header=(--header)
for arch in "${arches[@]}"; do
  regsvr "$arch" "$(winpath "$out/$arch/bin/Orrelin.dll")"
  for file in "${files[1]}" "$out/files/dfu-5000-elements.dfu"; do
    wine_run "$arch" "$out/$arch/bin/orrelin_preview_bench.exe" "${header[@]}" \
      "$(winpath "$file")" | tr -d '\r'
    header=()
  done
  regsvr "$arch" /u "$(winpath "$out/$arch/bin/Orrelin.dll")"
done
echo
echo "## The thumbnail under Wine (one CPU), registered by regsvr32: Initialize to the bitmap"
echo "## (files above 64 MiB are drawn from their headers, unchecked)"
echo
header=(--header)
for arch in "${arches[@]}"; do
  regsvr "$arch" "$(winpath "$out/$arch/bin/Orrelin.dll")"
  for file in "${files[1]}" "$out/files/dfu-5000-elements.dfu"; do
    wine_run "$arch" "$out/$arch/bin/orrelin_thumbnail_bench.exe" "${header[@]}" "$(winpath "$file")" 256 \
      | tr -d '\r'
    header=()
  done
  if [ -n "${ORRELIN_BENCH_THUMBNAIL_SIZES:-}" ]; then
    for file in "${files[@]}"; do
      # shellcheck disable=SC2086 # the sizes are separate words
      wine_run "$arch" "$out/$arch/bin/orrelin_thumbnail_bench.exe" "$(winpath "$file")" \
        $ORRELIN_BENCH_THUMBNAIL_SIZES | tr -d '\r'
    done
  fi
  regsvr "$arch" /u "$(winpath "$out/$arch/bin/Orrelin.dll")"
done
