#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Makes samples/speech.wav (or the file named as the first argument): a few
# English sentences with natural pauses, synthesized with espeak-ng,
# converted to 8 kHz 16-bit mono by libsoxr (the rate conversion the tool
# uses), padded with 0.5 s of silence in front and 0.3 s behind and
# normalized to a peak of -3 dBFS (repeatable: no dither). Needs espeak-ng,
# Debian's Python with numpy, and libsoxr, which scripts/install-deps.sh installs.
# The bundled sample was converted by another resampler: a file made again
# sounds the same but is not the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-samples/speech.wav}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
text="The quick brown fox jumps over the lazy dog. \
Please call me back at seven thirty, near the north gate."
espeak-ng -v en-us -s 165 -p 45 -g 4 -w "$tmp/voice.wav" "$text"
/usr/bin/python3 - "$tmp/voice.wav" "$out" <<'PY'
import sys, wave
import numpy as np

sys.path.insert(0, "scripts")
from speech_to_8k import to_8k

source, target = sys.argv[1], sys.argv[2]
speech = np.concatenate([np.zeros(4000), to_8k(source), np.zeros(2400)])
speech *= 10 ** (-3 / 20) / np.max(np.abs(speech))
samples = np.clip(np.round(speech * 32768), -32768, 32767).astype("<i2")
with wave.open(target, "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(8000)
    w.writeframes(samples.tobytes())
print(f"{target}: 8000 Hz, 1 channel, 16 bit, {len(samples) / 8000:.2f} s")
PY
