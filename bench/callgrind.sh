#!/usr/bin/env bash
# Deterministic cost figures, counted by callgrind: millions of instructions per second of 44.1 kHz
# stereo audio for each program and input, as a host playing at 120 BPM drives the effect, and the
# start-up cost of the first and of a later instance; then, when bench/editor_driver was built, the
# editor's (its images at each opening, a full repaint's frames).
#   bench/callgrind.sh [build-folder] [--baseline]
# Valgrind offers the program AVX2 (not AVX-512), so the figures are those of the AVX2 kernels;
# --baseline counts the baseline x86-64 ones.
# A figure is a long render minus a short one (start-up and making the input cancel out), less the
# same difference through a plug-in that does nothing (the host's block loop cancels out).
set -euo pipefail
bench="${1:-build}/bench/ombrel-bench"
extra=("${@:2}")
count() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$bench" "$@" ${extra[@]+"${extra[@]}"} 2>&1 >/dev/null |
        sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
# Instructions of one second of audio.
perSecond() {
    local long short
    short=$(count "$@" --seconds 1)
    long=$(count "$@" --seconds 6)
    echo $(((long - short) / 5))
}
kinds=(melody noise silence)
declare -A host
for kind in "${kinds[@]}"; do
    host[$kind]=$(perSecond --null --kind "$kind")
done
echo "M instructions per second of 44.1 kHz stereo, net of the host"
printf '%-8s %8s %8s %8s\n' program "${kinds[@]}"
for program in default rich; do
    row=()
    for kind in "${kinds[@]}"; do
        net=$(($(perSecond --program "$program" --kind "$kind") - ${host[$kind]}))
        row+=("$(awk -v n="$net" 'BEGIN { printf "%.2f", n / 1e6 }')")
    done
    printf '%-8s %8s %8s %8s\n' "$program" "${row[@]}"
done
none=$(count --instances 0)
one=$(count --instances 1)
two=$(count --instances 2)
awk -v a=$((one - none)) -v b=$((two - one)) \
    'BEGIN { printf "start-up: first instance %.2f M instructions, a later one %.2f M\n", a / 1e6, b / 1e6 }'
# The editor: its images' load (decoding and GPU upload) at the first opening, at a reopening and at
# a second instance's first opening, and the NanoVG frames of a full repaint. llvmpipe draws on the
# calling thread (LP_NUM_THREADS=0) so that its threads do not blur the counts.
driver="${1:-build}/bench/editor_driver"
if [ -x "$driver" ]; then
    inside() {
        LP_NUM_THREADS=0 valgrind --tool=callgrind --callgrind-out-file=/dev/null \
            --toggle-collect="$1" "$driver" "${@:2}" 2>&1 >/dev/null |
            sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
    }
    load='Korvel::KImageResource::load*'
    decode='dpf_stbi_load_from_memory'
    once=$(inside "$load" --opens 1)
    reopen=$(($(inside "$load" --opens 2) - once))
    other=$(($(inside "$load" --instances 2 --opens 1) - once))
    decodeOnce=$(inside "$decode" --opens 1)
    decodeReopen=$(($(inside "$decode" --opens 2) - decodeOnce))
    awk -v a="$once" -v b="$decodeOnce" -v c="$reopen" -v d="$decodeReopen" -v e="$other" \
        'BEGIN { printf "editor images: first opening %.2f M instructions (decoding %.2f M), a reopening %.2f M (decoding %.2f M), another instance %.2f M\n", a / 1e6, b / 1e6, c / 1e6, d / 1e6, e / 1e6 }'
    echo "editor $(LP_NUM_THREADS=0 "$driver" --repaint)"
fi
