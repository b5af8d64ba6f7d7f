#!/bin/sh
# package.sh SOURCE_DIR I686_BIN X86_64_BIN OUT_DIR VERSION
# Builds Orrelin-<VERSION>-x64-setup.exe (64-bit) and Orrelin-<VERSION>-setup.exe (32-bit)
# in OUT_DIR from the two Windows builds' DLLs. With ORRELIN_SIGN_PFX (a PFX file) and
# ORRELIN_SIGN_PASSWORD set, the DLLs, the setup programs and their uninstallers are signed
# with that certificate.
#
# It also makes Orrelin-<VERSION>-sparse.msix, the package that puts the download command in
# Windows 11's first context menu: unsigned, with a placeholder publisher, for inspection;
# with the certificate, its publisher is the certificate's subject, it is signed, and the
# setup programs carry it. ORRELIN_MENU_PACKAGE_MIN_BUILD lowers the Windows build from which
# the setup programs register it (tests only: Wine reports no Windows 11 build).
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
# The Windows 11 menu package's application, in the install folder of 64-bit Windows.
x86_64-w64-mingw32-strip --strip-debug -o "$payload/x86_64/dfuinfo.exe" "$x86_64_bin/dfuinfo.exe"
# The property schema the library registers from its own folder.
cp "$x86_64_bin/Orrelin.propdesc" "$payload/Orrelin.propdesc"

sign=""
if [ -n "${ORRELIN_SIGN_PFX:-}" ]; then
  sign="$source_dir/installer/sign.sh"
  for file in "$payload"/*/*.dll "$payload"/*/*.exe; do ORRELIN_SIGN_KEEP= "$sign" "$file"; done
fi

package=$out_dir/Orrelin-$version-sparse.msix
python3 "$source_dir/installer/sparse_package.py" --out "$package" --version "$version" \
  --family-out "$out_dir/sparse-family.txt" ${ORRELIN_SIGN_PFX:+--certificate "$ORRELIN_SIGN_PFX"}
menu_package=""
if [ -n "$sign" ]; then
  # osslsigncode signs packages from version 2.7; older ones refuse them or, worse, write a
  # package Windows cannot open.
  signer=$(osslsigncode --version 2>/dev/null | sed -n '1s/^osslsigncode \([0-9]*\)\.\([0-9]*\).*/\1 \2/p')
  set -- $signer
  if [ $# -ne 2 ] || [ "$1" -lt 2 ] || { [ "$1" -eq 2 ] && [ "$2" -lt 7 ]; }; then
    echo "package.sh: osslsigncode ${signer:-(unknown version)} cannot sign the Windows 11 menu package;" \
      "version 2.7 or later is needed (Debian 12's own is 2.5)" >&2
    exit 1
  fi
  ORRELIN_SIGN_KEEP= "$sign" "$package"
  menu_package=$package
fi

# One setup program for 64-bit Windows, and one 32-bit program, which also runs on 32-bit
# Windows.
for setup in "$out_dir/Orrelin-$version-x64-setup.exe" "$out_dir/Orrelin-$version-setup.exe"; do
  set -- -V2 -DVERSION="$version" -DPAYLOAD="$payload" -DOUTFILE="$setup"
  case $setup in *-x64-setup.exe) set -- "$@" -DX64 ;; esac
  if [ -n "$sign" ]; then set -- "$@" -DSIGN="$sign"; fi
  if [ -n "$menu_package" ]; then
    set -- "$@" -DSPARSE_PACKAGE="$menu_package" -DSPARSE_FAMILY="$(cat "$out_dir/sparse-family.txt")"
    if [ -n "${ORRELIN_MENU_PACKAGE_MIN_BUILD:-}" ]; then
      set -- "$@" -DMENU_PACKAGE_MIN_BUILD="$ORRELIN_MENU_PACKAGE_MIN_BUILD"
    fi
  fi
  # makensis takes '\' in File paths as separators on every platform.
  makensis "$@" "$source_dir/installer/Orrelin.nsi"
  echo "Built $setup"
done
