#!/usr/bin/env bash
# Sets up a fresh machine, builds the plug-in and the command-line host and renders the demo
# phrase through the plug-in into out/demo.wav.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake -S . -B build -G Ninja
cmake --build build
build/ombrel-host demo
