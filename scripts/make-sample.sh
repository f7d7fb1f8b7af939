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
import ctypes, sys, wave
import numpy as np

soxr = ctypes.CDLL("libsoxr.so.0")
soxr.soxr_oneshot.restype = ctypes.c_char_p
soxr.soxr_oneshot.argtypes = [ctypes.c_double, ctypes.c_double, ctypes.c_uint, ctypes.c_void_p,
                              ctypes.c_size_t, ctypes.POINTER(ctypes.c_size_t), ctypes.c_void_p,
                              ctypes.c_size_t, ctypes.POINTER(ctypes.c_size_t), ctypes.c_void_p,
                              ctypes.c_void_p, ctypes.c_void_p]
source, target = sys.argv[1], sys.argv[2]
with wave.open(source) as w:
    rate = w.getframerate()
    x = np.frombuffer(w.readframes(w.getnframes()), "<i2").astype(np.float32) / 32768
y = np.zeros(int(len(x) * 8000 / rate) + 1, np.float32)
done = ctypes.c_size_t()
error = soxr.soxr_oneshot(rate, 8000, 1, x.ctypes.data, len(x), None, y.ctypes.data, len(y),
                          ctypes.byref(done), None, None, None)
if error:
    sys.exit(f"{source}: {error.decode()}")
speech = np.concatenate([np.zeros(4000), y[:done.value], np.zeros(2400)])
speech *= 10 ** (-3 / 20) / np.max(np.abs(speech))
samples = np.clip(np.round(speech * 32768), -32768, 32767).astype("<i2")
with wave.open(target, "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(8000)
    w.writeframes(samples.tobytes())
print(f"{target}: 8000 Hz, 1 channel, 16 bit, {len(samples) / 8000:.2f} s")
PY
