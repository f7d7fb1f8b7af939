# SPDX-License-Identifier: BSD-2-Clause
"""Speed of the Python binding against the C library, and its scaling over threads.

Not a test: it prints figures. Run with the Python of the virtual
environment the package is installed in (docs/python.md) and the main build
present (scripts/test.sh builds it), from the project's root:

    ~/g723-venv/bin/python python/bench/bench_binding.py [--repeats N]

1. Whole-file calls on the bundled sample, as the C benchmark runs them
   (silence compression off, so every frame takes the full speech path;
   postfilter on): frames per CPU second through the binding
   (Encoder.encode, Decoder.decode) against the C library itself, the
   build's libg723.so called once per file through its packet calls. CPU
   time of the calling thread is measured, so that other load on the machine
   counts less; the best of the repeats is kept.
2. Two threads each coding the sample against one thread: frames per
   wall-clock second, which only rises when the GIL is released.
"""

import argparse
import ctypes
import threading
import time
import wave
from pathlib import Path

import numpy as np

import g723

ROOT = Path(__file__).resolve().parents[2]


def load_speech() -> np.ndarray:
    with wave.open(str(ROOT / "samples" / "speech.wav")) as sample:
        samples = np.frombuffer(sample.readframes(sample.getnframes()), "<i2").astype(np.int16)
    return samples[: len(samples) // 240 * 240]


class CLibrary:
    """The build's libg723.so, called through its packet calls."""

    def __init__(self, path: Path):
        self.lib = ctypes.CDLL(str(path))

    def encode(self, pcm: np.ndarray) -> np.ndarray:
        encoder = ctypes.c_void_p()
        self.lib.g723_encoder_open(ctypes.byref(encoder))
        self.lib.g723_encoder_set_vad_mode(encoder, 0, 1)
        out = np.zeros(len(pcm) // 240 * 24, np.uint8)
        count, length = ctypes.c_int32(len(pcm)), ctypes.c_int32()
        self.lib.g723_encode_packet(encoder, pcm.ctypes.data_as(ctypes.c_void_p), ctypes.byref(count),
                                    out.ctypes.data_as(ctypes.c_void_p), ctypes.byref(length))
        self.lib.g723_encoder_close(ctypes.byref(encoder))
        return out

    def decode(self, slots: np.ndarray) -> np.ndarray:
        decoder = ctypes.c_void_p()
        self.lib.g723_decoder_open(ctypes.byref(decoder))
        out = np.zeros(len(slots) // 24 * 240, np.int16)
        length, count = ctypes.c_int32(len(slots)), ctypes.c_int32()
        self.lib.g723_decode_packet(decoder, slots.ctypes.data_as(ctypes.c_void_p), ctypes.byref(length),
                                    out.ctypes.data_as(ctypes.c_void_p), 0, ctypes.byref(count))
        self.lib.g723_decoder_close(ctypes.byref(decoder))
        return out


def best_cpu_seconds(work, repeats: int) -> float:
    best = float("inf")
    for _ in range(repeats):
        start = time.thread_time()
        work()
        best = min(best, time.thread_time() - start)
    return best


def wall_seconds(work, threads: int) -> tuple:
    """Wall-clock seconds for `threads` threads each doing `work`, and the
    process's CPU seconds in that time."""
    barrier = threading.Barrier(threads + 1)

    def run():
        barrier.wait()
        work()

    workers = [threading.Thread(target=run) for _ in range(threads)]
    for worker in workers:
        worker.start()
    barrier.wait()
    start, cpu_start = time.perf_counter(), time.process_time()
    for worker in workers:
        worker.join()
    return time.perf_counter() - start, time.process_time() - cpu_start


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeats", type=int, default=15)
    parser.add_argument("--library", type=Path, default=ROOT / "build" / "g723" / "libg723.so")
    arguments = parser.parse_args()

    pcm = load_speech()
    frames = len(pcm) // 240
    c = CLibrary(arguments.library)
    slots = c.encode(pcm)
    compact = g723.Encoder(vad=False).encode(pcm)
    # Both sides code the same frames.
    assert compact == slots.tobytes() and np.array_equal(g723.Decoder().decode(compact), c.decode(slots))

    print(f"{frames} frames of the bundled sample, best of {arguments.repeats}, frames per CPU second")
    print(f"{'':10} {'C library':>12} {'binding':>12} {'binding/C':>10}")
    for name, c_work, binding_work in (
        ("encode", lambda: c.encode(pcm), lambda: g723.Encoder(vad=False).encode(pcm)),
        ("decode", lambda: c.decode(slots), lambda: g723.Decoder().decode(compact)),
    ):
        # Interleaved, so that a change of load affects both alike.
        c_best, binding_best = float("inf"), float("inf")
        for _ in range(arguments.repeats):
            c_best = min(c_best, best_cpu_seconds(c_work, 1))
            binding_best = min(binding_best, best_cpu_seconds(binding_work, 1))
        print(f"{name:10} {frames / c_best:12.0f} {frames / binding_best:12.0f} {c_best / binding_best:10.3f}")

    def code_sample():
        for _ in range(4):
            g723.Decoder().decode(g723.Encoder(vad=False).encode(pcm))

    # CPU seconds per wall second above 1 show both threads coding at once,
    # which the GIL would prevent; the machine's other load lowers it.
    print("encode + decode, 4 times per thread, frames per wall-clock second")
    for threads in (1, 2):
        wall, cpu = min(wall_seconds(code_sample, threads) for _ in range(3))
        print(f"  {threads} thread{'s' if threads > 1 else ' '} {4 * threads * frames / wall:10.0f}"
              f"   CPU seconds per wall second {cpu / wall:.2f}")

    # While one thread codes a long signal in one call, the main thread keeps
    # running Python: its longest pause stays far below the call's length
    # when the call releases the GIL (only the machine's scheduling shows).
    long_signal = np.tile(pcm, 8)
    worker = threading.Thread(target=lambda: g723.Encoder(vad=False).encode(long_signal))
    start = last = time.perf_counter()
    longest = 0.0
    worker.start()
    while worker.is_alive():
        now = time.perf_counter()
        longest, last = max(longest, now - last), now
    print(f"one encode call of {8 * frames} frames took {last - start:.3f} s; "
          f"the main thread's longest pause meanwhile {longest * 1000:.1f} ms")


if __name__ == "__main__":
    main()
