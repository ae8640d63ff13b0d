#!/usr/bin/env bash
# The Wine prefix of a Windows test run. "start DIR" makes a fresh prefix in DIR, sets Wine's
# graphics driver to null (DDE then works without a display) and keeps wineserver running for
# the run; "stop DIR" ends that wineserver and waits for it.
set -euo pipefail
action=$1
export WINEPREFIX=$2 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
case $action in
  start)
    [ -d "$WINEPREFIX" ] && { wineserver -k 2>/dev/null || true; wineserver -w; }
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver -w
    wineserver -p </dev/null >/dev/null 2>&1
    # Wine's services and desktop start with the first program and outlive it; start them here,
    # away from the tests' output, which CTest reads until every holder has closed it.
    wine cmd /c exit </dev/null >/dev/null 2>&1
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    wineserver -w
    ;;
esac
