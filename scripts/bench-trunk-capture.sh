#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Times `g723 pcap` on a large capture (scripts/make-trunk-capture.sh) with
# one job and with the default (one per processor), reporting only and
# writing every stream's WAV file, beside reading the same capture with
# tcpdump alone, and prints a Markdown table: wall time,
# processor time (user + system) and peak memory (maximum resident set),
# each the median of REPETITIONS runs of /usr/bin/time -v. The WAV files go
# to a scratch folder beside the capture and are compared between the runs.
#   scripts/bench-trunk-capture.sh [CAPTURE] [REPETITIONS]   (build/trunk.pcap, 3)
set -euo pipefail
cd "$(dirname "$0")/.."
capture=${1:-build/trunk.pcap} repetitions=${2:-3}
tool=build/tools/g723
[ -f "$capture" ] || scripts/make-trunk-capture.sh 500 120 "$capture"
out=$(mktemp -d "$(dirname "$capture")/trunk-out.XXXXXX")
trap 'rm -rf "$out"' EXIT

# One run: "wall cpu rss" (seconds, seconds, MiB).
measure() {
    /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '
        /Elapsed/ { n = split($2, t, ":"); wall = (n == 3 ? t[1] * 3600 + t[2] * 60 + t[3] : t[1] * 60 + t[2]) }
        /User time/ { cpu += $2 } /System time/ { cpu += $2 }
        /Maximum resident/ { rss = $2 / 1024 }
        END { printf "%.2f %.2f %.0f\n", wall, cpu, rss }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
row() {
    local name=$1
    shift
    local runs=()
    for _ in $(seq "$repetitions"); do
        rm -rf "$out/wav"
        runs+=("$(measure "$@")")
    done
    local wall cpu rss
    wall=$(printf "%s\n" "${runs[@]}" | cut -d' ' -f1 | median)
    cpu=$(printf "%s\n" "${runs[@]}" | cut -d' ' -f2 | median)
    rss=$(printf "%s\n" "${runs[@]}" | cut -d' ' -f3 | median)
    printf "| %s | %s | %s | %s |\n" "$name" "$wall" "$cpu" "$rss"
    last_wall=$wall
}

echo "Capture: $capture, $(du -m "$capture" | cut -f1) MiB; $(nproc) processors; median of $repetitions runs."
echo
echo "| run | wall s | processor s | peak MiB |"
echo "|---|--:|--:|--:|"
row "tcpdump -r CAPTURE -w /dev/null" tcpdump -r "$capture" -w /dev/null
row "g723 pcap --jobs 1 CAPTURE (report only)" "$tool" pcap --jobs 1 "$capture"
row "g723 pcap CAPTURE (report only, $(nproc) jobs)" "$tool" pcap "$capture"
row "g723 pcap --jobs 1 CAPTURE OUTDIR" "$tool" pcap --jobs 1 "$capture" "$out/wav"
one=$last_wall
row "g723 pcap CAPTURE OUTDIR ($(nproc) jobs)" "$tool" pcap "$capture" "$out/wav"
all=$last_wall
"$tool" pcap --jobs 1 "$capture" "$out/one" >"$out/one.txt"
"$tool" pcap "$capture" "$out/all" >"$out/all.txt"
echo
sed -e "s|$out/one|OUTDIR|" "$out/one.txt" >"$out/one.report"
sed -e "s|$out/all|OUTDIR|" "$out/all.txt" >"$out/all.report"
if diff -rq "$out/one" "$out/all" >/dev/null && cmp -s "$out/one.report" "$out/all.report"; then
    echo "Files and report of the default run: identical to --jobs 1."
else
    echo "Files or report of the default run DIFFER from --jobs 1."
fi
awk -v a="$all" -v o="$one" 'BEGIN { printf "Wall time of the default run: %.2f of --jobs 1.\n", a / o }'
