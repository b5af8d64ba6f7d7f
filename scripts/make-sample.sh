#!/bin/sh
# make-sample.sh OUT.dfu [TARGET-NAME]
# Writes a DfuSe firmware file with one named target (the name becomes the file's comment)
# and a DFU suffix added by dfu-suffix: vendor 0x0483, product 0xDF11, release 0x2200.
set -e
out=$1
name=${2:-Halvorn boot loader}
[ -n "$out" ] || { echo "usage: make-sample.sh OUT.dfu [TARGET-NAME]" >&2; exit 2; }

byte() { printf "\\$(printf '%03o' "$1")"; }
le32() {
  byte $(($1 & 255)); byte $((($1 >> 8) & 255))
  byte $((($1 >> 16) & 255)); byte $((($1 >> 24) & 255))
}
zeros() { head -c "$1" /dev/zero; }

# DfuSe prefix, one named target of one 64-byte element, as the DfuSe layout has them.
name_length=$(printf '%s' "$name" | wc -c)
[ "$name_length" -le 254 ] || { echo "target name too long" >&2; exit 2; }
{
  printf 'DfuSe'; byte 1; le32 $((11 + 274 + 8 + 64)); byte 1
  printf 'Target'; byte 0; le32 1; printf '%s' "$name"; zeros $((255 - name_length)); le32 $((8 + 64)); le32 1
  le32 134217728; le32 64; seq 1 40 | tr -d '\n' | head -c 64
} > "$out"
dfu-suffix -S 0x011a -v 0x0483 -p 0xdf11 -d 0x2200 -a "$out" >/dev/null
