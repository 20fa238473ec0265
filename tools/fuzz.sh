#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (coverage, ASan and UBSan over the whole tree) and runs
# each for OMBREL_FUZZ_SECONDS (default 60) from its seeds in tests/fuzz/corpus; any finding (a
# crash, a sanitizer report, a failed check, a hang, more than 1 GB of memory) fails the run and
# keeps the input that led to it under build-fuzz/fuzz-work/TARGET/findings. "tools/fuzz.sh chunk
# text" runs only those. skin_draw draws through an offscreen GL context (EGL, no window system).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh fuzz
build=${OMBREL_FUZZ_BUILD_DIR:-build-fuzz}
seconds=${OMBREL_FUZZ_SECONDS:-60}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(chunk text preset dispatcher skin skin_draw)

# Settings of a target's own. skin_draw keeps to its own seeds, which use the small images: decoding
# the 1280-pixel background under the sanitizers takes most of a second, a tenth of the speed.
declare -A options
# A call takes 6 bytes and more: sequences of the 64 calls the target allows need inputs of
# hundreds of bytes from the start, not the slowly growing length libFuzzer begins with.
options[dispatcher]="-max_len=4096 -len_control=0"
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DOMBREL_FUZZ=ON -DOMBREL_TESTS=OFF \
  -DOMBREL_BENCH=OFF
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

failed=0
for t in "${targets[@]}"; do
  work="$build/fuzz-work/$t"
  mkdir -p "$work/corpus" "$work/findings"
  # New inputs go into the scratch corpus; the seeds in the tree stay as they are.
  # shellcheck disable=SC2086 # the options are a list of words
  if "$build/tests/fuzz/fuzz_$t" "$work/corpus" "tests/fuzz/corpus/$t" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -artifact_prefix="$work/findings/" \
    -print_final_stats=1 ${options[$t]:-} >"$work/log" 2>&1; then
    status="no finding"
  else
    status="FINDING (input in $work/findings)"
    failed=1
    grep -A30 -m1 -E "ERROR|finding:|runtime error" "$work/log" || tail -30 "$work/log"
  fi
  runs=$(grep -o 'number_of_executed_units: [0-9]*' "$work/log" | grep -o '[0-9]*$' || echo "?")
  peak=$(grep -o 'peak_rss_mb: *[0-9]*' "$work/log" | grep -o '[0-9]*$' || echo "?")
  inputs=$(find "$work/corpus" -type f | wc -l)
  longest=$(find "$work/corpus" -type f -printf '%s\n' | sort -n | tail -1)
  echo "fuzz_$t: $runs executions in $seconds s, corpus $inputs inputs (longest ${longest:-0}" \
    "bytes), peak $peak MB, $status"
done
exit $failed
