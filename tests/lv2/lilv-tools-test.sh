#!/usr/bin/env bash
# Debian's LV2 tools on the built bundle: lv2ls lists it, lv2info shows its ports, units, presets
# and UI, serdi parses every file, every LV2 term it uses is defined by the LV2 standard's
# own data in /usr/lib/lv2, and lv2apply renders tones that the synth tracks.
# Usage: lilv-tools-test.sh BUNDLE WORK_DIR
set -euo pipefail
bundle=$1 work=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work/path"
ln -s "$bundle" "$work/path/ombrel.lv2"
export LV2_PATH=$work/path

[ "$(lv2ls)" = "urn:korvel:ombrel" ] || fail "lv2ls: $(lv2ls)"
info=$(lv2info urn:korvel:ombrel)
ports=$(grep -c '^	Port [0-9]*:' <<<"$info")
[ "$ports" = 35 ] || fail "$ports ports"
for word in 'Symbol:      minfreq' 'Symbol:      mainlvl' 'Symbol:      in_r' 'Symbol:      control' 'Symbol:      notes' \
            '"Sawtooth"' '"Falling"' 'Defaults' 'ui#X11UI' 'port-props#logarithmic' \
            'lv2core#enumeration' 'lv2core#connectionOptional' 'state#interface'; do
  grep -qF "$word" <<<"$info" || fail "lv2info lacks $word"
done
grep -A8 'Symbol:      noise1' <<<"$info" | grep -q 'Minimum:     -90' || fail "decibel floor"

# Parsing, and the vocabulary: every LV2 term we write is defined in the LV2 standard's data.
for f in "$bundle"/*.ttl; do
  serdi -q -i turtle -o ntriples "$f" >"$work/$(basename "$f").nt" || fail "serdi: $f"
done
for f in /usr/lib/lv2/*.lv2/*.ttl; do serdi -q -i turtle -o ntriples "$f" 2>/dev/null || true; done \
  >"$work/spec.nt"
python3 - "$work" <<'PY'
import glob, re, sys
work = sys.argv[1]
uri = re.compile(r'<(http://lv2plug\.in/ns/[^>]*)>')
defined = {m.group(1) for line in open(f"{work}/spec.nt") for m in [uri.match(line)] if m}
used = set()
for name in glob.glob(f"{work}/*.ttl.nt"):
    for line in open(name):
        used.update(uri.findall(line))
missing = sorted(u for u in used if u not in defined)
if missing:
    sys.exit("FAIL: not defined by LV2: " + " ".join(missing))
print(f"{len(used)} LV2 terms, all defined")
PY

# Tones through lv2apply (no URID map: no transport, no state): the output follows each pitch.
frequency() {  # the mean frequency of the last second of a WAV, from its zero crossings
  sox "$1" -t f32 -c 1 - remix 1 trim 1 | python3 -c '
import struct, sys
d = sys.stdin.buffer.read(); x = struct.unpack("<%df" % (len(d) // 4), d)
ups = [i for i in range(1, len(x)) if x[i - 1] < 0 <= x[i]]
print("%.2f" % ((len(ups) - 1) * 44100 / (ups[-1] - ups[0])) if len(ups) > 2 else 0)'
}
for f in 150 440; do
  sox -n -r 44100 -c 2 -b 16 "$work/in$f.wav" synth 2 sine "$f" gain -6
  lv2apply -i "$work/in$f.wav" -o "$work/out$f.wav" -c wave2 2 -c level3 -90 urn:korvel:ombrel \
    || fail "lv2apply at $f Hz"
  got=$(frequency "$work/out$f.wav")
  python3 -c "import sys; sys.exit(abs($got - $f) > $f * 0.01)" || fail "$f Hz in, $got Hz out"
  rms=$(sox "$work/out$f.wav" -n stat 2>&1 | awk '/RMS     amplitude/ {print $3}')
  python3 -c "import sys; sys.exit(not 0.05 < $rms < 1)" || fail "level $rms at $f Hz"
  echo "$f Hz in: $got Hz out, RMS $rms"
done
echo PASS
