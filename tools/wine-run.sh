#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine, non-interactively, in a prefix of its own
# that is created on first use. CTest uses this as the emulator of every cross-built test;
# "tools/wine-run.sh --stop" ends the server that it leaves running.
set -euo pipefail
wine=${OMBREL_WINE64:-/usr/lib/wine/wine64}
wineserver=$(dirname "$wine")/wineserver
export WINEPREFIX=${OMBREL_WINEPREFIX:-/tmp/ombrel-wine-$(id -u)}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree=;mshtml="}

if [ "${1:-}" = --stop ]; then
  "$wineserver" -k 2>/dev/null || true
  exit 0
fi

# Wine's system services (explorer, services, plugplay...) live as long as the server and keep
# the output pipes of the program that started them, so CTest would wait for a test until the
# server ends. They are started here, with their output elsewhere, before any test runs; parallel
# tests take turns at this so that only one of them starts the server and its services.
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
if [ ! -f "$WINEPREFIX/.ombrel-ready" ]; then
  "$wine" wineboot -i </dev/null >/dev/null 2>&1 9>&-
  # Without a window manager every window close waits for a reply that never comes.
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 9>&-
  touch "$WINEPREFIX/.ombrel-ready"
fi
# Answers non-zero when a server already runs; it then stays 30 s after its last program.
# The lock's descriptor stays out of them: whoever holds it open holds the lock.
if "$wineserver" -p30 </dev/null >/dev/null 2>&1 9>&-; then
  "$wine" cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&-
fi
exec 9>&-
exec "$wine" "$@"
