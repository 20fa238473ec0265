#!/usr/bin/env bash
# Runs a Windows test program under Wine in a private Xvfb, with a Wine prefix and server of its
# own: Wine binds its desktop to the display its server first saw, so the server starts here and
# ends with the test.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
wine_run="$here/../../../tools/wine-run.sh"
# A crash ends the test instead of waiting in the debugger.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winedbg.exe=d"
export OMBREL_WINEPREFIX=${OMBREL_WINE_GUI_PREFIX:-/tmp/ombrel-wine-gui-$(id -u)}
if [ -z "${OMBREL_IN_XVFB:-}" ]; then
  OMBREL_IN_XVFB=1 exec "$here/../with-xvfb.sh" "$0" "$@"
fi
# A server left by an earlier run would keep its old display.
"$wine_run" --stop
"$wine_run" "$@"
status=$?
"$wine_run" --stop
exit $status
