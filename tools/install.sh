#!/usr/bin/env bash
# Installs the built plug-ins and their factory sounds into the user's plug-in folders, or with
# --uninstall removes what the last install put there:
#   ~/.vst/ombrel.so    ~/.vst/Ombrel Factory/   (.fxp programs, .fxb banks)
#   ~/.clap/ombrel.clap ~/.clap/Ombrel Factory/  (.clapstate files)
#   ~/.lv2/ombrel.lv2/  ~/.lv2/ombrel-factory.lv2/ (the plug-in; its factory presets)
# Only the formats the build has. Every file installed is listed in
# ~/.local/share/ombrel/installed.txt, which the next install or --uninstall reads back, so files
# of the user's own in those folders stay. Usage: tools/install.sh [--uninstall] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
uninstall=0
if [ "${1:-}" = --uninstall ]; then
  uninstall=1
  shift
fi
usage() { sed -n '2,9s/^# \{0,1\}//p' "$0"; }
case "${1:-}" in
  --help | -h) usage && exit 0 ;;
  -*) usage >&2 && exit 2 ;;
esac
if [ $# -gt 1 ]; then usage >&2 && exit 2; fi
build=${1:-build}
home=${HOME:?HOME is not set}
record_dir=${XDG_DATA_HOME:-$home/.local/share}/ombrel
record=$record_dir/installed.txt

# Removes the files of the last install, then the folders they leave empty.
remove_recorded() {
  [ -f "$record" ] || return 0
  local path
  while IFS= read -r path; do
    [ -n "$path" ] && rm -f -- "$path"
  done <"$record"
  # Deepest first; rmdir leaves any folder that still holds something.
  while IFS= read -r path; do
    path=$(dirname -- "$path")
    while [ "$path" != "$home" ] && [ "$path" != / ] && rmdir -- "$path" 2>/dev/null; do
      path=$(dirname -- "$path")
    done
  done < <(sort -r "$record")
  rm -f -- "$record"
  rmdir -- "$record_dir" 2>/dev/null || true
}

if [ "$uninstall" = 1 ]; then
  if [ ! -f "$record" ]; then
    echo "Nothing to remove: no Ombrel install recorded in $record"
    exit 0
  fi
  count=$(grep -c . "$record" || true)
  remove_recorded
  echo "Removed Ombrel's $count installed files"
  exit 0
fi

if [ ! -f "$build/ombrel.so" ]; then
  echo "install.sh: no plug-in in $build/ (build it first: tools/demo.sh)" >&2
  exit 1
fi
if [ ! -f "$build/factory/programs.txt" ]; then
  echo "install.sh: no factory sounds in $build/factory/ (the build is not finished)" >&2
  exit 1
fi

remove_recorded
mkdir -p "$record_dir"
new_record=$record.new
: >"$new_record"

# put SOURCE TARGET: one file, or a folder's files under TARGET.
put() {
  local source=$1 target=$2 file
  if [ -d "$source" ]; then
    while IFS= read -r file; do
      put "$source/$file" "$target/$file"
    done < <(cd "$source" && find . -type f | sed 's|^\./||' | sort)
    return
  fi
  mkdir -p -- "$(dirname -- "$target")"
  cp -f -- "$source" "$target.ombrel-new"
  mv -f -- "$target.ombrel-new" "$target"
  printf '%s\n' "$target" >>"$new_record"
}

put "$build/ombrel.so" "$home/.vst/ombrel.so"
put "$build/factory/vst" "$home/.vst/Ombrel Factory"
echo "VST 2.4: $home/.vst/ombrel.so, factory programs and banks in $home/.vst/Ombrel Factory/"
if [ -f "$build/ombrel.clap" ]; then
  put "$build/ombrel.clap" "$home/.clap/ombrel.clap"
  put "$build/factory/clap" "$home/.clap/Ombrel Factory"
  echo "CLAP:    $home/.clap/ombrel.clap, factory states in $home/.clap/Ombrel Factory/"
fi
if [ -f "$build/ombrel.lv2/manifest.ttl" ]; then
  put "$build/ombrel.lv2" "$home/.lv2/ombrel.lv2"
  put "$build/factory/ombrel-factory.lv2" "$home/.lv2/ombrel-factory.lv2"
  echo "LV2:     $home/.lv2/ombrel.lv2, factory presets in $home/.lv2/ombrel-factory.lv2/"
fi
mv -f -- "$new_record" "$record"
echo "Installed $(grep -c . "$record") files (listed in $record); rescan plug-ins in the host."
echo "Ardour scans ~/.lv2 but no VST folder in your home: use the LV2, or add $home/.vst to its"
echo "Linux VST2 path (Preferences > Plugins), or install system-wide (README)."
