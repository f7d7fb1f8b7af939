#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Compares two builds of the g723 tool on the same audio: per file, the frame
# kinds, SNR and segmental SNR of a round trip (silence compression and
# postfilter on, as the tool's defaults), the change in each, and whether the
# bit-streams are identical. Usage:
#   scripts/compare-codec-output.sh OLD_G723 NEW_G723 FILE...
set -euo pipefail
old=$1 new=$2
shift 2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
field() { sed -n "s/^$1 *//p" "$2"; }
printf "| file | frames (old) | frames (new) | SNR old | SNR new | segSNR old | segSNR new | bits |\n"
printf "|---|---|---|---|---|---|---|---|\n"
for f in "$@"; do
    "$old" roundtrip "$f" "$tmp/old.wav" >"$tmp/old.txt"
    "$new" roundtrip "$f" "$tmp/new.wav" >"$tmp/new.txt"
    "$old" encode "$f" "$tmp/old.g723"
    "$new" encode "$f" "$tmp/new.g723"
    bits=$(cmp -s "$tmp/old.g723" "$tmp/new.g723" && echo same || echo differ)
    printf "| %s | %s | %s | %s | %s | %s | %s | %s |\n" "$(basename "$f")" \
        "$(field frames "$tmp/old.txt")" "$(field frames "$tmp/new.txt")" \
        "$(field SNR "$tmp/old.txt")" "$(field SNR "$tmp/new.txt")" \
        "$(field 'segmental SNR' "$tmp/old.txt" | cut -d' ' -f1-2)" \
        "$(field 'segmental SNR' "$tmp/new.txt" | cut -d' ' -f1-2)" "$bits"
done
