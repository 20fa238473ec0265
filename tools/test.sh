#!/usr/bin/env bash
# Sets up a fresh machine, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
build=${OMBREL_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DOMBREL_TESTS=ON ${OMBREL_CMAKE_ARGS:-}
cmake --build "$build"
# Tests that share a resource hold a RESOURCE_LOCK; the rest run side by side.
ctest --test-dir "$build" --output-on-failure -j "${OMBREL_TEST_JOBS:-$(nproc)}" ${OMBREL_CTEST_ARGS:-}
