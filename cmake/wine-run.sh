#!/bin/sh
# Runs a Windows test program under wine64, quietly, with this build's own prefix.
export WINEDEBUG="${WINEDEBUG:--all}"
exec /usr/lib/wine/wine64 "$@"
