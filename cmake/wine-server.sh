#!/bin/sh
# Starts or stops the wine server the Windows tests run under:
#   wine-server.sh start|stop WINE WINESERVER
# WINEPREFIX comes from the environment (a private prefix in the build dir).
# Every wine process started here gets /dev/null for its standard streams:
# the server and the services wine starts with a new prefix outlive this
# script, and if they held CTest's output pipes CTest would wait for them
# for ever.
set -eu
action=$1 wine=$2 wineserver=$3
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
export WINEDEBUG=-all
case "$action" in
start)
  mkdir -p "$WINEPREFIX"
  "$wineserver" -p </dev/null >/dev/null 2>&1
  # Create or update the prefix now rather than inside the first test.
  "$wine" wineboot --init </dev/null >/dev/null 2>&1
  ;;
stop)
  "$wineserver" -k </dev/null >/dev/null 2>&1 || true
  "$wineserver" -w </dev/null >/dev/null 2>&1 || true
  ;;
*)
  echo "usage: $0 start|stop WINE WINESERVER" >&2
  exit 2
  ;;
esac
