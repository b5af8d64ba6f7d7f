#!/usr/bin/env bash
# signing_tests.sh SOURCE_DIR BUILD_DIR
# Packs the setup program as the build does, given a throwaway certificate, and checks the
# signatures of the DLLs, the setup programs and their uninstallers with osslsigncode.
set -euo pipefail
source_dir=$1 build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -subj "/CN=Orrelin test signing" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout pass:throwaway -out "$work/sign.pfx"
mkdir -p "$work/out" "$work/kept"
ORRELIN_SIGN_PFX=$work/sign.pfx ORRELIN_SIGN_PASSWORD=throwaway ORRELIN_SIGN_KEEP=$work/kept \
  "$source_dir/installer/package.sh" "$source_dir" "$build/i686/bin" "$build/x86_64/bin" "$work/out" 0.0.1 >/dev/null

failures=0
setups=("$work/out/Orrelin-0.0.1-x64-setup.exe" "$work/out/Orrelin-0.0.1-setup.exe")
files=("$work"/out/payload/*/*.dll "${setups[@]}")
# The copies makensis had signed: the setup programs and the uninstaller inside each.
for setup in "${setups[@]}"; do rm -f "$work/kept/$(basename "$setup")"; done
uninstallers=("$work"/kept/*)
for file in "${files[@]}" "${uninstallers[@]}"; do
  name=${file#"$work"/}
  if osslsigncode verify -CAfile "$work/cert.pem" -in "$file" >"$work/verify.txt" 2>&1 &&
    grep -q "Signature verification: ok" "$work/verify.txt"; then
    echo "ok: $name signed"
  else
    echo "FAIL: $name"; cat "$work/verify.txt"; failures=$((failures + 1))
  fi
done
# Four DLLs, two setup programs, and their uninstallers among the kept copies.
[ "${#files[@]}" -eq 6 ] || { echo "FAIL: ${#files[@]} files packed"; failures=$((failures + 1)); }
[ "${#uninstallers[@]}" -eq 2 ] && [ -f "${uninstallers[0]}" ] ||
  { echo "FAIL: ${#uninstallers[@]} uninstallers kept"; failures=$((failures + 1)); }
# An unsigned file fails the same check, so the check can tell.
if osslsigncode verify -CAfile "$work/cert.pem" -in "$build/x86_64/bin/Orrelin.dll" >/dev/null 2>&1; then
  echo "FAIL: an unsigned DLL passed"; failures=$((failures + 1))
fi
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
