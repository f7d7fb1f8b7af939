#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Runs the g723 tool on each kernel path in turn (G723_KERNELS=plain, sse2,
# avx2, avx512: the library reads it once, when it is loaded) and checks that every
# path gives the plain path's bit-streams and decoded samples byte for byte:
# with and without silence compression, with the postfilter on and off, and
# with frames lost and concealed. Paths the processor lacks are skipped (and
# named). Exit status 1 on any difference. Usage:
#   scripts/compare-kernel-paths.sh G723 FILE...
set -euo pipefail
g723=$1
shift
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
paths=(plain sse2)
if grep -qw avx2 /proc/cpuinfo 2>/dev/null; then paths+=(avx2); else echo "avx2: not on this processor, skipped"; fi
if grep -qw avx512f /proc/cpuinfo 2>/dev/null; then paths+=(avx512); else echo "avx512: not on this processor, skipped"; fi
status=0
for f in "$@"; do
    same=yes
    for p in "${paths[@]}"; do
        run() { G723_KERNELS=$p "$g723" "$@"; }
        run encode "$f" "$tmp/$p.g723"
        run encode --no-vad "$f" "$tmp/$p.novad.g723"
        run decode "$tmp/$p.g723" "$tmp/$p.wav"
        run decode --no-postfilter "$tmp/$p.novad.g723" "$tmp/$p.nopf.wav"
        run decode --loss 10 --seed 7 "$tmp/$p.novad.g723" "$tmp/$p.loss.wav"
    done
    for p in "${paths[@]:1}"; do
        for out in g723 novad.g723 wav nopf.wav loss.wav; do
            if ! cmp -s "$tmp/plain.$out" "$tmp/$p.$out"; then
                echo "$(basename "$f"): $p differs from plain in the $out output"
                status=1 same=no
            fi
        done
    done
    [ $same = yes ] && echo "$(basename "$f"): ${paths[*]} agree"
done
exit $status
