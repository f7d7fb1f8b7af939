#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Makes a corpus of varied synthetic speech for before/after comparisons of
# the codec's output: six files of about two minutes each (over ten minutes in
# all), 8 kHz 16-bit mono, each with its own voice, pitch, speed and level
# (from -3 dBFS down to -36 dBFS), paragraphs separated by pauses of 0.4 to
# 2 s, one file under a low pink-noise floor so that silence frames carry
# background noise. Repeatable: the same text, voices and seeds every run.
# Needs espeak-ng and sox. Usage: scripts/make-speech-corpus.sh [OUTDIR]
# (default build/speech-corpus). Audio is written, never committed.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/speech-corpus}
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Plain English prose: the licence texts every Debian system carries, one
# paragraph per line.
awk 'BEGIN { RS = ""; ORS = "\n" } { gsub(/[ \t\n]+/, " "); if (length($0) > 40) print }' \
    /usr/share/common-licenses/GPL-3 /usr/share/common-licenses/Apache-2.0 >"$tmp/paragraphs.txt"

# voice, pitch, words per minute, level in dBFS, noise floor in dBFS (or none)
takes=(
    "en-us+m3 45 165 -3 none"
    "en-gb+f2 70 150 -12 none"
    "en-us+m7 30 185 -24 none"
    "en+f4 60 140 -6 -50"
    "en-gb-scotland+m1 40 175 -36 none"
    "en-us+f5 80 160 -18 none"
)
words_per_file=330  # about two minutes at these speeds
line=1
index=0
for take in "${takes[@]}"; do
    read -r voice pitch speed level noise <<<"$take"
    parts=()
    words=0
    part=0
    while ((words < words_per_file)); do
        text=$(sed -n "${line}p" "$tmp/paragraphs.txt")
        line=$((line + 1))
        [[ -z "$text" ]] && { line=1; continue; }
        words=$((words + $(wc -w <<<"$text")))
        espeak-ng -v "$voice" -p "$pitch" -s "$speed" -w "$tmp/p.wav" "$text"
        pause=$(awk -v n="$part" -v i="$index" 'BEGIN { printf "%.1f", 0.4 + ((n * 7 + i * 3) % 9) * 0.2 }')
        sox -R "$tmp/p.wav" -b 16 -c 1 -e signed-integer "$tmp/part$part.wav" gain -6 rate 8000 pad 0 "$pause"
        parts+=("$tmp/part$part.wav")
        part=$((part + 1))
    done
    name=$(printf "%s/corpus-%02d.wav" "$out" "$index")
    sox -R "${parts[@]}" "$tmp/speech.wav" gain -n "$level"
    if [[ "$noise" != none ]]; then
        length=$(soxi -D "$tmp/speech.wav")
        sox -R -n -r 8000 -b 16 -c 1 "$tmp/noise.wav" synth "$length" pinknoise gain -n "$noise"
        sox -R -m "$tmp/speech.wav" "$tmp/noise.wav" -b 16 "$name"
    else
        mv "$tmp/speech.wav" "$name"
    fi
    printf "%s  %s, %.1f s\n" "$name" "$voice" "$(soxi -D "$name")"
    index=$((index + 1))
done
