#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; skips those already present.
# "tools/setup.sh windows" adds the Windows cross toolchain and Wine, which run its tests;
# "tools/setup.sh fuzz" adds clang and its runtime libraries for the libFuzzer targets;
# "tools/setup.sh hosts" adds Qtractor, JACK, a window manager and X tools for trying the VST and
# CLAP builds by hand in a real host under Xvfb.
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev googletest libbenchmark-dev libx11-dev libgl-dev
  libgl1-mesa-dri libegl-dev libegl-mesa0 libpng-dev python3-glad dpf-source libsndfile1-dev
  fonts-dejavu-core python3-fonttools valgrind xvfb xauth libxtst-dev clang libclang-rt-14-dev clang-format
  dragonfly-reverb-vst lsp-plugins-vst ardour-lv2-plugins lv2-dev liblilv-dev lilv-utils serdi sox
  pkg-config)
if [ "${1:-}" = windows ]; then
  packages+=(g++-mingw-w64-x86-64-posix wine64)
fi
if [ "${1:-}" = fuzz ]; then
  packages+=(clang libclang-rt-14-dev)
fi
if [ "${1:-}" = hosts ]; then
  packages+=(qtractor jackd2 openbox xdotool imagemagick x11-utils)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
