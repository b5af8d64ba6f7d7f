#!/usr/bin/env bash
# menu_package_tests.sh SOURCE_DIR BUILD_DIR
# The 64-bit setup program with a signed Windows 11 menu package, under Wine. Wine has no
# package deployment and reports no Windows 11 build, so the setup programs are packed
# again with a throwaway certificate twice: as shipped (from build 22000) and with the
# threshold lowered to build 0, so that the Windows 11 branch runs here. For the test, the
# prefix's powershell.exe is argv-record.exe, which records its arguments as the C runtime
# splits them (as PowerShell's does), into a folder whose name holds a blank, an apostrophe
# and a '$'. What this proves: the files installed and removed, the exact arguments the
# script would get, that a failing script fails nothing. What it cannot: PowerShell itself.
set -euo pipefail
source_dir=$1 build=$2
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
work=$(mktemp -d)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() { if eval "$2"; then echo "ok: $1"; else fail "$1"; fi; }

powershell=$WINEPREFIX/drive_c/windows/system32/WindowsPowerShell/v1.0/powershell.exe
mkdir -p "$(dirname "$powershell")"
saved=""
if [ -e "$powershell" ]; then saved=$work/powershell.exe; cp "$powershell" "$saved"; fi
root=$WINEPREFIX/drive_c/orrelin-menu
restore() {
  if [ -n "$saved" ]; then cp "$saved" "$powershell"; else rm -f "$powershell"; fi
  rm -rf "$root" "$work"
}
trap restore EXIT
cp "$build/x86_64/bin/argv-record.exe" "$powershell"

openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -subj "/CN=Orrelin test signing" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout pass:throwaway -out "$work/sign.pfx"
for kind in shipped lowered; do
  mkdir -p "$work/$kind"
  lowered=""
  if [ "$kind" = lowered ]; then lowered=0; fi
  ORRELIN_SIGN_PFX=$work/sign.pfx ORRELIN_SIGN_PASSWORD=throwaway ORRELIN_MENU_PACKAGE_MIN_BUILD=$lowered \
    "$source_dir/installer/package.sh" "$source_dir" "$build/i686/bin" "$build/x86_64/bin" "$work/$kind" 0.0.1 >/dev/null
done
family=$(cat "$work/lowered/sparse-family.txt")
check "family name of the signed package" '[[ $family =~ ^Orrelin_[0-9a-z]{13}$ ]]'

folder_win="C:\\orrelin-menu\\Halvorn's \$dir Brannoc"
folder=$root/"Halvorn's \$dir Brannoc"
export ORRELIN_ARGV_RECORD
ORRELIN_ARGV_RECORD=$("$wine" winepath -w "$work/argv.txt" 2>/dev/null)

# What PowerShell would be given: its options, the script, then the script's arguments.
expected() { # action scope
  printf '%s\n' -NoProfile -NonInteractive -ExecutionPolicy Bypass -File "$folder_win\\MenuPackage.ps1" -Action "$1"
  if [ "$1" = Add ]; then printf '%s\n' -Package "$folder_win\\Orrelin.msix" -Folder "$folder_win"; fi
  printf '%s\n' -Scope "$2" -Family "$family" ''
}

# kind scope exit-code-of-the-script
for row in "lowered Machine 0" "lowered User 1" "shipped Machine 0"; do
  read -r kind scope code <<<"$row"
  echo "== $kind threshold, $scope, script answers $code"
  rm -rf "$root" "$work/argv.txt"
  mkdir -p "$folder"
  cp "$build/x86_64/bin/Brannoc.exe" "$folder/"
  switches="/S"
  if [ "$scope" = User ]; then switches="/S /CurrentUser"; fi
  setup=$("$wine" winepath -w "$work/$kind/Orrelin-0.0.1-x64-setup.exe" 2>/dev/null)
  status=0
  ORRELIN_ARGV_EXIT=$code "$wine" cmd /c "$setup $switches /D=$folder_win" || status=$?
  check "installed (setup answered $status)" '[ "$status" -eq 0 ] && [ -f "$folder/Orrelin.dll" ]'
  if [ "$kind" = lowered ]; then
    check "package script started with the folder as arguments" 'diff <(expected Add "$scope") "$work/argv.txt"'
    check "signed package installed" 'cmp -s "$folder/Orrelin.msix" "$work/lowered/Orrelin-0.0.1-sparse.msix"'
    check "package script installed" 'cmp -s "$folder/MenuPackage.ps1" "$source_dir/installer/MenuPackage.ps1"'
    check "package application installed" 'cmp -s "$folder/dfuinfo.exe" "$work/lowered/payload/x86_64/dfuinfo.exe"'
  else
    check "before Windows 11: no script started" '[ ! -e "$work/argv.txt" ]'
    check "before Windows 11: no package files" \
      '[ ! -e "$folder/Orrelin.msix" ] && [ ! -e "$folder/MenuPackage.ps1" ] && [ ! -e "$folder/dfuinfo.exe" ]'
  fi
  rm -f "$work/argv.txt"
  (cd "$folder" && ORRELIN_ARGV_EXIT=$code "$wine" cmd /c "Uninstall-Orrelin.exe /S _?=$folder_win")
  if [ "$kind" = lowered ]; then
    check "package script started to remove it" 'diff <(expected Remove "$scope") "$work/argv.txt"'
  else
    check "before Windows 11: nothing to remove" '[ ! -e "$work/argv.txt" ]'
  fi
  check "removed with the library" \
    '[ ! -e "$folder/Orrelin.dll" ] && [ ! -e "$folder/Orrelin.msix" ] && [ ! -e "$folder/MenuPackage.ps1" ] && [ ! -e "$folder/dfuinfo.exe" ]'
  check "wizard stays" '[ -f "$folder/Brannoc.exe" ]'
done
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
