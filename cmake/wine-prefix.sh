#!/bin/sh
# wine-prefix.sh create|start|stop PREFIX
# create: makes the prefix once (under a lock, so parallel callers wait for one wineboot);
# start: also keeps a wineserver up for the whole test run; stop: shuts it down.
set -e
action=$1
export WINEPREFIX="$2"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Every call goes through the 64-bit loader: Debian's wine, wineboot and reg scripts start
# the 32-bit one, which some machines cannot run. Where they can, Wine still starts the
# prefix's 32-bit side itself.
wine64=/usr/lib/wine/wine64

create() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "Creating Wine prefix $WINEPREFIX"
      "$wine64" wineboot -i >/dev/null 2>&1
      # A program that crashes gets its backtrace printed and ends; the crash dialog would
      # wait on the virtual display for a click that never comes.
      "$wine64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
      wineserver -w
    fi
  ) 9>"$WINEPREFIX.lock"
}

case "$action" in
  create) create ;;
  # The server, the prefix's services and its desktop process outlive this script and every
  # program run after it: they are started here, away from any caller's output, so that no
  # test's output pipe stays open after the test has ended.
  start)
    create
    wineserver -p </dev/null >/dev/null 2>&1
    "$wine64" rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1 || true
    echo "wineserver running for $WINEPREFIX" ;;
  stop) wineserver -k 2>/dev/null || true; echo "wineserver stopped for $WINEPREFIX" ;;
  *) echo "usage: $0 create|start|stop PREFIX" >&2; exit 2 ;;
esac
