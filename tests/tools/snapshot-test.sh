#!/usr/bin/env bash
# ombrel-host snapshot end to end: a private Xvfb when there is no display, a script's changes and
# host notices, the PNG's size, the message without Xvfb, and peer plug-ins' editors (one that
# asks for its size only while it opens).
# Usage: snapshot-test.sh OMBREL_HOST WORK_DIR [PEER_PLUGIN [RESIZING_PEER_PLUGIN]]
set -euo pipefail
tool=$1 work=$2 peer=${3:-} resizing=${4:-}
mkdir -p "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
png_size() { python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]))' "$1"; }

out=$(env -u DISPLAY "$tool" snapshot "$work/ombrel.png" --drag 260,55,0,-30 --click 260,87 \
      --type '200{Return}' --click 454,87 --type '9{Escape}')
echo "$out"
[ "$(png_size "$work/ombrel.png")" = 640x395 ] || fail "editor size"
grep -qx 'Changed: MinFreq: 70 -> 200' <<<"$out" || fail "typed value"
grep -q '^Host notice: begin edit MinFreq$' <<<"$out" || fail "drag notices"
grep -q 'Speed' <<<"$out" && fail "Escape must not change Speed"

set +e
msg=$(env -u DISPLAY PATH=/nonexistent "$tool" snapshot "$work/none.png" 2>&1)
code=$?
set -e
[ $code -eq 1 ] || fail "exit code $code without a display"
grep -q 'apt-get install xvfb' <<<"$msg" || fail "no hint: $msg"
[ ! -e "$work/none.png" ] || fail "no picture without a display"

if [ -n "$peer" ] && [ -e "$peer" ]; then
  env -u DISPLAY "$tool" snapshot "$peer" "$work/peer.png" --settle 800
  [ "$(png_size "$work/peer.png")" != "" ] || fail "peer picture"
fi
if [ -n "$resizing" ] && [ -e "$resizing" ]; then
  out=$(env -u DISPLAY "$tool" snapshot "$resizing" "$work/resizing.png" --settle 800)
  [ "$(png_size "$work/resizing.png")" = 929x788 ] || fail "resizing peer: $out"
fi
echo PASS
