#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Compares two builds of the g723 tool on the same audio: per file and per
# setting (silence compression on, as the tool's default, and off; each
# without loss and with 10% of the frames lost and concealed), the frame
# kinds, SNR and segmental SNR of a round trip with the postfilter on, the
# change in each (new minus old), and whether the bit-streams are identical;
# then per setting the mean of each figure over all the files (a corpus's
# overall change, where single files move both ways when bits change).
# Usage:
#   scripts/compare-codec-output.sh OLD_G723 NEW_G723 FILE...
set -euo pipefail
old=$1 new=$2
shift 2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
field() { sed -n "s/^$1 *//p" "$2"; }
snr() { field SNR "$1" | cut -d' ' -f1; }
segsnr() { field 'segmental SNR' "$1" | cut -d' ' -f1; }
delta() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%+.2f", b - a }'; }
settings=("silence compression on" "silence compression off" "on, 10% loss" "off, 10% loss")
options=("" "--no-vad" "--loss 10 --seed 7" "--no-vad --loss 10 --seed 7")
printf "| file | setting | frames (old) | frames (new) | SNR old | SNR new | ΔSNR | segSNR old | segSNR new | ΔsegSNR | bits |\n"
printf "|---|---|---|---|--:|--:|--:|--:|--:|--:|---|\n"
: >"$tmp/figures"
for f in "$@"; do
    for i in "${!settings[@]}"; do
        read -r -a opts <<<"${options[$i]}"
        "$old" roundtrip "${opts[@]}" "$f" "$tmp/old.wav" >"$tmp/old.txt"
        "$new" roundtrip "${opts[@]}" "$f" "$tmp/new.wav" >"$tmp/new.txt"
        vad=()
        [[ " ${options[$i]} " == *" --no-vad "* ]] && vad=(--no-vad)
        "$old" encode "${vad[@]}" "$f" "$tmp/old.g723"
        "$new" encode "${vad[@]}" "$f" "$tmp/new.g723"
        bits=$(cmp -s "$tmp/old.g723" "$tmp/new.g723" && echo same || echo differ)
        printf "%s\t%s %s %s %s %s\n" "$i" "$(snr "$tmp/old.txt")" "$(snr "$tmp/new.txt")" \
            "$(segsnr "$tmp/old.txt")" "$(segsnr "$tmp/new.txt")" "$bits" >>"$tmp/figures"
        printf "| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n" "$(basename "$f")" "${settings[$i]}" \
            "$(field frames "$tmp/old.txt")" "$(field frames "$tmp/new.txt")" \
            "$(snr "$tmp/old.txt")" "$(snr "$tmp/new.txt")" "$(delta "$(snr "$tmp/old.txt")" "$(snr "$tmp/new.txt")")" \
            "$(segsnr "$tmp/old.txt")" "$(segsnr "$tmp/new.txt")" \
            "$(delta "$(segsnr "$tmp/old.txt")" "$(segsnr "$tmp/new.txt")")" "$bits"
    done
done
if [ $# -gt 1 ]; then
    for i in "${!settings[@]}"; do
        awk -F'\t' -v i="$i" -v setting="${settings[$i]}" -v files=$# '$1 == i {
                split($2, v, " "); so += v[1]; sn += v[2]; go += v[3]; gn += v[4]; if (v[5] == "differ") d++
            } END {
                printf "| mean of %d files | %s | | | %.3f | %.3f | %+.3f | %.3f | %.3f | %+.3f | %d differ |\n",
                    files, setting, so / files, sn / files, (sn - so) / files, go / files, gn / files, (gn - go) / files, d
            }' "$tmp/figures"
    done
fi
