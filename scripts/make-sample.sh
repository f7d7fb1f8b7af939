#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Makes samples/speech.wav: a few English sentences with natural pauses,
# synthesized with espeak-ng, converted by sox to 8 kHz 16-bit mono and
# normalized to -3 dBFS (repeatable: no dither). Needs the Debian packages
# espeak-ng and sox.
set -euo pipefail
cd "$(dirname "$0")/.."
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
text="The quick brown fox jumps over the lazy dog. \
Please call me back at seven thirty, near the north gate."
espeak-ng -v en-us -s 165 -p 45 -g 4 -w "$tmp/voice.wav" "$text"
# Half a second of silence in front, so that the sample starts as calls do.
sox -R "$tmp/voice.wav" -r 8000 -b 16 -c 1 -e signed-integer samples/speech.wav \
    pad 0.5 0.3 gain -n -3
soxi samples/speech.wav
