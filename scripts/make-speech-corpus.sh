#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Makes a corpus of varied synthetic speech for before/after comparisons of
# the codec's output: six files of about two minutes each (over ten minutes in
# all), 8 kHz 16-bit mono, each with its own voice, pitch, speed and level
# (from -3 dBFS down to -36 dBFS), paragraphs separated by pauses of 0.4 to
# 2 s, one file under a low pink-noise floor so that silence frames carry
# background noise. Repeatable: the same text, voices and seeds every run.
# Needs espeak-ng, Python with numpy, and libsoxr (the rate conversion the
# tool uses). Usage: scripts/make-speech-corpus.sh [OUTDIR [WORDS]]
# (default build/speech-corpus, about 330 words per file); fewer WORDS make
# each file shorter: the same takes, each cut to its first paragraphs. Audio
# is written, never committed.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/speech-corpus}
words_per_file=${2:-330}  # about two minutes at these speeds
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Plain English prose: the licence texts every Debian system carries, one
# paragraph per line.
awk 'BEGIN { RS = ""; ORS = "\n" } { gsub(/[ \t\n]+/, " "); if (length($0) > 40) print }' \
    /usr/share/common-licenses/GPL-3 /usr/share/common-licenses/Apache-2.0 >"$tmp/paragraphs.txt"

# One take from its paragraphs: each converted to 8 kHz by libsoxr, 6 dB
# down and followed by its pause; the whole scaled to its peak level, with
# pink noise of the given peak level added (the seed is the take's index).
cat >"$tmp/take.py" <<'PY'
import sys, wave
import numpy as np

sys.path.insert(0, "scripts")
from speech_to_8k import to_8k

name, index, level, noise = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), sys.argv[4]
pieces = []
for part in sys.argv[5:]:
    path, pause = part.rsplit(":", 1)
    pieces += [to_8k(path) * 10 ** (-6 / 20), np.zeros(round(float(pause) * 8000), np.float32)]
speech = np.concatenate(pieces).astype(np.float64)
speech *= 10 ** (level / 20) / np.max(np.abs(speech))
if noise != "none":
    spectrum = np.fft.rfft(np.random.default_rng(index).standard_normal(len(speech)))
    spectrum[1:] /= np.sqrt(np.arange(1, len(spectrum)))
    spectrum[0] = 0
    pink = np.fft.irfft(spectrum, len(speech))
    speech += pink * 10 ** (float(noise) / 20) / np.max(np.abs(pink))
samples = np.clip(np.round(speech * 32768), -32768, 32767).astype("<i2")
with wave.open(name, "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(8000)
    w.writeframes(samples.tobytes())
PY

# voice, pitch, words per minute, level in dBFS, noise floor in dBFS (or none)
takes=(
    "en-us+m3 45 165 -3 none"
    "en-gb+f2 70 150 -12 none"
    "en-us+m7 30 185 -24 none"
    "en+f4 60 140 -6 -50"
    "en-gb-scotland+m1 40 175 -36 none"
    "en-us+f5 80 160 -18 none"
)
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
        espeak-ng -v "$voice" -p "$pitch" -s "$speed" -w "$tmp/part$part.wav" "$text"
        pause=$(awk -v n="$part" -v i="$index" 'BEGIN { printf "%.1f", 0.4 + ((n * 7 + i * 3) % 9) * 0.2 }')
        parts+=("$tmp/part$part.wav:$pause")
        part=$((part + 1))
    done
    name=$(printf "%s/corpus-%02d.wav" "$out" "$index")
    /usr/bin/python3 "$tmp/take.py" "$name" "$index" "$level" "$noise" "${parts[@]}"
    printf "%s  %s, %s s\n" "$name" "$voice" "$(/usr/bin/python3 -c 'import sys, wave; w = wave.open(sys.argv[1]); print(f"{w.getnframes() / 8000:.1f}")' "$name")"
    index=$((index + 1))
done
