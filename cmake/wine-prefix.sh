#!/bin/sh
# wine-prefix.sh create|start|stop PREFIX
# create: makes the prefix once (under a lock, so parallel callers wait for one wineboot);
# start: also keeps a wineserver up for the whole test run; stop: shuts it down.
set -e
action=$1
export WINEPREFIX="$2"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

create() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "Creating Wine prefix $WINEPREFIX"
      wineboot -i >/dev/null 2>&1
      wineserver -w
    fi
  ) 9>"$WINEPREFIX.lock"
}

case "$action" in
  create) create ;;
  start) create; wineserver -p; echo "wineserver running for $WINEPREFIX" ;;
  stop) wineserver -k 2>/dev/null || true; echo "wineserver stopped for $WINEPREFIX" ;;
  *) echo "usage: $0 create|start|stop PREFIX" >&2; exit 2 ;;
esac
