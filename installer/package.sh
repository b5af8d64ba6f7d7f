#!/bin/sh
# package.sh SOURCE_DIR I686_BIN X86_64_BIN OUT_DIR VERSION
# Builds Orrelin-<VERSION>-x64-setup.exe (64-bit) and Orrelin-<VERSION>-setup.exe (32-bit)
# in OUT_DIR from the two Windows builds' DLLs. With ORRELIN_SIGN_PFX (a PFX file) and
# ORRELIN_SIGN_PASSWORD set, the DLLs, the setup programs and their uninstallers are signed
# with that certificate.
set -eu
source_dir=$1 i686_bin=$2 x86_64_bin=$3 out_dir=$4 version=$5
payload=$out_dir/payload
mkdir -p "$payload/i686" "$payload/x86_64"
for arch in i686 x86_64; do
  if [ "$arch" = i686 ]; then bin=$i686_bin; else bin=$x86_64_bin; fi
  # What a user's machine gets carries no debugging information.
  for dll in Orrelin.dll Korvex.dll; do
    "$arch-w64-mingw32-strip" --strip-debug -o "$payload/$arch/$dll" "$bin/$dll"
  done
done
# The property schema the library registers from its own folder.
cp "$x86_64_bin/Orrelin.propdesc" "$payload/Orrelin.propdesc"

sign=""
if [ -n "${ORRELIN_SIGN_PFX:-}" ]; then
  sign="$source_dir/installer/sign.sh"
  for file in "$payload"/*/*.dll; do ORRELIN_SIGN_KEEP= "$sign" "$file"; done
fi

# One setup program for 64-bit Windows, and one 32-bit program, which also runs on 32-bit
# Windows.
for setup in "$out_dir/Orrelin-$version-x64-setup.exe" "$out_dir/Orrelin-$version-setup.exe"; do
  set -- -V2 -DVERSION="$version" -DPAYLOAD="$payload" -DOUTFILE="$setup"
  case $setup in *-x64-setup.exe) set -- "$@" -DX64 ;; esac
  if [ -n "$sign" ]; then set -- "$@" -DSIGN="$sign"; fi
  # makensis takes '\' in File paths as separators on every platform.
  makensis "$@" "$source_dir/installer/Orrelin.nsi"
  echo "Built $setup"
done
