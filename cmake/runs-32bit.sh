#!/bin/sh
# runs-32bit.sh [COMMAND [ARGUMENT...]]
# Whether this machine runs 32-bit x86 programs: some machines of ours refuse every i386
# program ("Exec format error"), and with it Wine's 32-bit loader. The build, the scripts
# and the tests all ask here. ORRELIN_NO_32BIT=1 forces the answer "no", so that either
# kind of machine can be tried on the one at hand.
#
# Without a command: exits 0 where 32-bit programs run, else says why and exits 1.
# With one: runs it where 32-bit programs run, else says why and exits 77, the code that
# CTest reports as a skipped test.
loader32=/usr/lib/wine/wine
if [ -n "${ORRELIN_NO_32BIT:-}" ] && [ "$ORRELIN_NO_32BIT" != 0 ]; then
  reason="ORRELIN_NO_32BIT is set"
elif [ ! -x "$loader32" ]; then
  reason="Wine's 32-bit loader is not installed (package wine32:i386)"
elif ! "$loader32" --version >/dev/null 2>&1; then
  reason="the kernel refuses to start i386 programs"
else
  reason=""
fi

if [ $# -eq 0 ]; then
  [ -z "$reason" ] && exit 0
  echo "This machine cannot run 32-bit programs: $reason." >&2
  exit 1
fi
[ -z "$reason" ] && exec "$@"
echo "skipped: this machine cannot run 32-bit programs ($reason)"
exit 77
