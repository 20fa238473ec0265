#!/usr/bin/env bash
# tools/install.sh into a private HOME (again, then --uninstall, which leaves the user's own files)
# and "cmake --install" into a DESTDIR, checking each layout and that the installed plug-ins load.
# Usage: install-test.sh SOURCE_DIR BUILD_DIR OMBREL_HOST WORK_DIR
set -euo pipefail
source=$1 build=$2 tool=$3 work=$4
rm -rf "$work" && mkdir -p "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
# same FOLDER COPY: every file the build made in FOLDER is in COPY, byte for byte.
same() {
  [ -n "$(ls -A "$1")" ] || fail "$1 is empty"
  (cd "$1" && find . -type f) | while IFS= read -r f; do
    cmp -s "$1/$f" "$2/$f" || fail "$2/$f"
  done
}
# check VST CLAP LV2: the plug-ins and their factory files where they belong, and loading there.
check() {
  local vst=$1 clap=$2 lv2=$3
  cmp "$build/ombrel.so" "$vst/ombrel.so" || fail "$vst/ombrel.so"
  same "$build/factory/vst" "$vst/Ombrel Factory"
  "$tool" preset load "$vst/ombrel.so" "$vst/Ombrel Factory/Ombrel Factory 1.fxb" --quiet
  if [ -f "$build/ombrel.clap" ]; then
    cmp "$build/ombrel.clap" "$clap/ombrel.clap" || fail "$clap/ombrel.clap"
    same "$build/factory/clap" "$clap/Ombrel Factory"
    "$tool" preset load "$clap/ombrel.clap" "$clap/Ombrel Factory/Soft Pad.clapstate" --quiet
  fi
  if [ -d "$build/ombrel.lv2" ]; then
    same "$build/ombrel.lv2" "$lv2/ombrel.lv2"
    same "$build/factory/ombrel-factory.lv2" "$lv2/ombrel-factory.lv2"
    "$tool" preset load "$lv2/ombrel.lv2" "$lv2/ombrel-factory.lv2/soft-pad.ttl" --quiet
  fi
}

home=$work/home
mkdir -p "$home/.vst/Ombrel Factory"
echo mine >"$home/.vst/Ombrel Factory/My Sound.fxp"
run() { HOME=$home XDG_DATA_HOME= "$source/tools/install.sh" "$@"; }
run "$build"
check "$home/.vst" "$home/.clap" "$home/.lv2"
echo stale >"$home/.vst/Ombrel Factory/Fat Saw Lead.fxp"
run "$build" >/dev/null
check "$home/.vst" "$home/.clap" "$home/.lv2"
run --uninstall
left=$(cd "$home" && find . -type f | sort)
[ "$left" = "./.vst/Ombrel Factory/My Sound.fxp" ] || fail "after --uninstall: $left"
[ ! -e "$home/.clap" ] && [ ! -e "$home/.lv2" ] || fail "empty folders left behind"
run --uninstall | grep -q 'Nothing to remove' || fail "a second --uninstall"

dest=$work/dest
DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null
check "$dest/usr/lib/vst" "$dest/usr/lib/clap" "$dest/usr/lib/lv2"
echo "installs checked"
