#!/bin/sh
# make_samples.sh DFU_SUFFIX OUTDIR
# Writes the .dfu files the Windows tests read, with dfu-suffix as the writer:
#   payload.bin  the payload of plain.dfu and ids.dfu
#   plain.dfu    suffix with dfu-suffix's defaults (all numbers 0xFFFF)
#   ids.dfu      vendor 0x0483, product 0xDF11, release 0x2200
#   dfuse.dfu    DfuSe image: unnamed target, then target "Carte \351" (Windows-1252 e acute)
#   corrupt.dfu  ids.dfu with one payload byte changed
set -e
dfu_suffix=$1
out=$2
mkdir -p "$out"
cd "$out"
rm -f payload.bin plain.dfu ids.dfu dfuse.dfu corrupt.dfu

byte() { printf "\\$(printf '%03o' "$1")"; }
le32() {
  byte $(($1 & 255)); byte $((($1 >> 8) & 255))
  byte $((($1 >> 16) & 255)); byte $((($1 >> 24) & 255))
}
zeros() { head -c "$1" /dev/zero; }

seq 1 400 > payload.bin
cp payload.bin plain.dfu
"$dfu_suffix" -a plain.dfu >/dev/null
cp payload.bin ids.dfu
"$dfu_suffix" -v 0x0483 -p 0xdf11 -d 0x2200 -a ids.dfu >/dev/null

# Elements: address, size, data. First target: one 16-byte element; second: one 32-byte.
{
  printf 'DfuSe'; byte 1; le32 $((11 + 274 + 24 + 274 + 40)); byte 2
  printf 'Target'; byte 0; le32 0; zeros 255; le32 24; le32 1
  le32 134217728; le32 16; printf '0123456789abcdef'
  printf 'Target'; byte 1; le32 1; printf 'Carte \351'; zeros 248; le32 40; le32 1
  le32 134283264; le32 32; printf 'fedcba9876543210fedcba9876543210'
} > dfuse.dfu
"$dfu_suffix" -S 0x011a -v 0x0483 -p 0xdf11 -d 0x0200 -a dfuse.dfu >/dev/null

cp ids.dfu corrupt.dfu
printf 'X' | dd of=corrupt.dfu bs=1 seek=100 conv=notrunc 2>/dev/null
