#!/bin/sh
# Runs a command (the Windows tests) with one wine server kept up for all the wine
# processes it starts, instead of each racing to start one, and the prefix brought up to
# date first. Run it inside the tests' network namespace: wine's sockets are made by its
# server, so a server left over from outside would take them out of the namespace; any
# such server is ended first.
WINESERVER=/usr/lib/wine/wineserver
"$WINESERVER" -k 2>/dev/null
"$WINESERVER" -p 900 && { timeout 300 /usr/lib/wine/wine64 wineboot -u >/dev/null 2>&1 || true; }
status=0
"$@" || status=$?
"$WINESERVER" -k 2>/dev/null
exit $status
