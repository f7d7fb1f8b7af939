# SPDX-License-Identifier: BSD-2-Clause
"""A synthesized voice's WAV file at 8 kHz, converted by libsoxr (the rate
conversion the tool uses): the one conversion of scripts/make-sample.sh and
scripts/make-speech-corpus.sh, which import it from scripts/."""
import ctypes
import sys
import wave

import numpy as np

soxr = ctypes.CDLL("libsoxr.so.0")
soxr.soxr_oneshot.restype = ctypes.c_char_p
soxr.soxr_oneshot.argtypes = [ctypes.c_double, ctypes.c_double, ctypes.c_uint, ctypes.c_void_p,
                              ctypes.c_size_t, ctypes.POINTER(ctypes.c_size_t), ctypes.c_void_p,
                              ctypes.c_size_t, ctypes.POINTER(ctypes.c_size_t), ctypes.c_void_p,
                              ctypes.c_void_p, ctypes.c_void_p]


def to_8k(path):
    """The 16-bit mono WAV file `path` as float32 samples (full scale 1) at 8 kHz."""
    with wave.open(path) as w:
        rate = w.getframerate()
        x = np.frombuffer(w.readframes(w.getnframes()), "<i2").astype(np.float32) / 32768
    y = np.zeros(int(len(x) * 8000 / rate) + 1, np.float32)
    done = ctypes.c_size_t()
    error = soxr.soxr_oneshot(rate, 8000, 1, x.ctypes.data, len(x), None, y.ctypes.data, len(y),
                              ctypes.byref(done), None, None, None)
    if error:
        sys.exit(f"{path}: {error.decode()}")
    return y[:done.value]
