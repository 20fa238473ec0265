#!/usr/bin/env bash
# Sets up a fresh machine, builds the plug-in and the command-line host and renders the demo
# phrase through the plug-in into out/demo.wav, then through some of the factory sounds into
# out/demo-NAME.wav, saying what each file holds.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake -S . -B build -G Ninja
cmake --build build
build/ombrel-host demo
echo
echo "The same phrase through factory sounds (build/factory/vst/NAME.fxp):"
sounds=("Fat Saw Lead" "Drawbar Organ" "Soft Pad" "Breathy Voice" "Tremolo Keys" "Detuned Chorus"
  "Square Clarinet" "Pulse Pluck" "Sub Bass")
for name in "${sounds[@]}"; do
  file=out/demo-$(echo "$name" | tr 'A-Z ' 'a-z-').wav
  build/ombrel-host render out/demo-input.wav "$file" --load "build/factory/vst/$name.fxp" \
    --tempo 110 --play --tail 1 --quiet
  about=$(awk -F '\t' -v n="$name" '$1 == n { print $2 }' build/factory/programs.txt)
  printf '  %-30s %s: %s\n' "$file" "$name" "$about"
done
echo
echo "Every factory sound is in build/factory/; tools/install.sh installs the plug-ins and them."
