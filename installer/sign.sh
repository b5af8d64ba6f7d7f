#!/bin/sh
# sign.sh FILE: signs a PE file in place with the certificate ORRELIN_SIGN_PFX, whose
# password is ORRELIN_SIGN_PASSWORD; ORRELIN_SIGN_TIMESTAMP optionally names a time-stamp
# server. makensis calls it for the setup program and for the uninstaller it embeds.
set -eu
file=$1
set -- sign -pkcs12 "$ORRELIN_SIGN_PFX" -pass "${ORRELIN_SIGN_PASSWORD:-}" -n Orrelin -h sha256
if [ -n "${ORRELIN_SIGN_TIMESTAMP:-}" ]; then set -- "$@" -t "$ORRELIN_SIGN_TIMESTAMP"; fi
osslsigncode "$@" -in "$file" -out "$file.signed" >/dev/null
mv "$file.signed" "$file"
# The uninstaller exists only inside the setup program; a copy of it, as signed, lets it
# be checked.
if [ -n "${ORRELIN_SIGN_KEEP:-}" ]; then cp "$file" "$ORRELIN_SIGN_KEEP/"; fi
