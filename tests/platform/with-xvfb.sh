#!/usr/bin/env bash
# Runs a command in a private Xvfb. The server picks a free display itself (-displayfd), so runs
# in parallel, or beside another user's server, can never end up sharing one. -noreset: by default
# the server resets when its last client leaves, and a test connecting during that reset (the next
# test's fixture, on a loaded machine) is refused.
set -uo pipefail
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$fifo" 2>/dev/null &
server=$!
read -r -t 30 number <"$fifo"
rm -f "$fifo"
if [ -z "${number:-}" ]; then
  kill "$server" 2>/dev/null
  echo "with-xvfb: Xvfb did not start" >&2
  exit 1
fi
DISPLAY=":$number" "$@"
status=$?
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
exit $status
