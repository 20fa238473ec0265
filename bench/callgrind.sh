#!/usr/bin/env bash
# Deterministic cost figures: instructions per second of audio (a long render minus a short one,
# so start-up cancels out) and the start-up cost of the first and of a later instance.
#   bench/callgrind.sh [build-folder]
set -euo pipefail
bench="${1:-build}/bench/ombrel-bench"
count() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null $collect "$bench" "$@" 2>&1 >/dev/null |
        sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
# Only the effect's processing counts, not the bench's own feeding of the input.
collect="--toggle-collect=*processClassReplacing*"
for kind in melody random noise silence; do
    short=$(count --kind "$kind" --seconds 1)
    long=$(count --kind "$kind" --seconds 6)
    echo "$kind: $(( (long - short) / 5 )) instructions per second of audio"
done
collect=""
none=$(count --instances 0)
one=$(count --instances 1)
two=$(count --instances 2)
echo "first instance: $(( one - none )) instructions; a later one: $(( two - one ))"
