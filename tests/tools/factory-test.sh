#!/usr/bin/env bash
# Every factory file through the real plug-ins: each sound renders the sung phrase finite (a
# non-finite block fails the render), audible, unclipped and about as loud as the others; its
# place in a bank and its LV2 preset give the same samples as its .fxp, its .clapstate the same
# within CLAP's fixed-point song position (which moves the tremolo by far less than -100 dB); no two
# sounds are alike. Usage: factory-test.sh OMBREL_HOST BUILD_DIR WORK_DIR
set -euo pipefail
tool=$1 build=$2 work=$3
factory=$build/factory
rm -rf "$work" && mkdir -p "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
"$tool" demo --output "$work/demo.wav" --input-copy "$work/phrase.wav" --quiet
sox "$work/phrase.wav" "$work/in.wav" trim 0 2.5
render() { # PLUGIN STATE OUT [options]
  local plugin=$1 state=$2 out=$3
  shift 3
  "$tool" render "$plugin" "$work/in.wav" "$out" --load "$state" --tempo 110 --play --quiet "$@"
}
level() { sox "$1" -n remix 1 stats 2>&1 | awk -v w="$2" '$0 ~ w { print $4 }'; }
close() { # A B: the difference peaks below -100 dB
  sox -m -v 1 "$1" -v -1 "$2" "$work/difference.wav"
  awk -v p="$(level "$work/difference.wav" 'Pk lev dB')" 'BEGIN { exit !(p == "-inf" || p < -100) }'
}

count=0 bank=1 slot=0
declare -A seen
while IFS=$'\t' read -r name about; do
  [ -n "$about" ] || fail "$name says nothing about itself"
  slug=$(echo "$name" | tr 'A-Z ' 'a-z-')
  "$tool" preset show "$factory/vst/$name.fxp" | grep -q "Program: *\"$name\"" ||
    fail "$name.fxp does not carry its name"
  render "$build/ombrel.so" "$factory/vst/$name.fxp" "$work/$slug.wav"
  peak=$(level "$work/$slug.wav" 'Pk lev dB')
  rms=$(level "$work/$slug.wav" 'RMS lev dB')
  echo "$name: peak $peak dB, RMS $rms dB"
  awk -v p="$peak" -v r="$rms" 'BEGIN { exit !(p < -1 && r > -16 && r < -10) }' ||
    fail "$name: peak $peak dB, RMS $rms dB (wanted below -1 dB; -16 to -10 dB)"
  sum=$(md5sum <"$work/$slug.wav")
  [ -z "${seen[$sum]:-}" ] || fail "$name sounds exactly like ${seen[$sum]}"
  seen[$sum]=$name
  render "$build/ombrel.so" "$factory/vst/Ombrel Factory $bank.fxb" "$work/bank.wav" --program $slot
  [ "$(md5sum <"$work/bank.wav")" = "$sum" ] || fail "$name in bank $bank, program $slot"
  if [ -f "$build/ombrel.clap" ]; then
    render "$build/ombrel.clap" "$factory/clap/$name.clapstate" "$work/clap.wav"
    close "$work/$slug.wav" "$work/clap.wav" || fail "$name.clapstate"
  fi
  if [ -d "$build/ombrel.lv2" ]; then
    preset=$factory/ombrel-factory.lv2/$slug.ttl
    "$tool" preset show "$preset" | grep -q "Label: *\"$name\"" || fail "$slug.ttl label"
    grep -q "rdfs:seeAlso <$slug.ttl>" "$factory/ombrel-factory.lv2/manifest.ttl" ||
      fail "$slug.ttl is not in the preset bundle's manifest"
    render "$build/ombrel.lv2" "$preset" "$work/lv2.wav"
    [ "$(md5sum <"$work/lv2.wav")" = "$sum" ] || fail "$slug.ttl"
  fi
  count=$((count + 1)) slot=$((slot + 1))
  if [ $slot -eq 10 ]; then bank=$((bank + 1)) slot=0; fi
done <"$factory/programs.txt"
[ $count -ge 12 ] || fail "only $count factory sounds"
[ "$(find "$factory/vst" -name '*.fxp' | wc -l)" -eq $count ] || fail "stray .fxp files"
[ "$(find "$factory/vst" -name '*.fxb' | wc -l)" -eq $(((count + 9) / 10)) ] || fail "banks"
echo "$count factory sounds checked"
