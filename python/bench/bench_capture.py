# SPDX-License-Identifier: BSD-2-Clause
"""g723.read_capture against `g723 pcap` on the same large capture.

Not a test: it prints figures. Run with the Python of the virtual
environment the package is installed in (docs/python.md) and the main build
present, from the project's root:

    ~/g723-venv/bin/python python/bench/bench_capture.py [--streams N] [--seconds S] [--capture PATH] [--repeats R] [--make-only]

Writes a trunk capture (PATH, default build/trunk.pcap, when it does not
exist yet): N one-way G.723.1 streams of S seconds each, the bundled
sample's frames over and over with silence compression, two frames per
packet, each stream losing up to 3.5 % of its packets (at random, the
share growing with the stream's number modulo 8) and one packet in a
hundred arriving late, all interleaved in time as on a trunk. Then times, best of R wall
clock runs each, `g723 pcap CAPTURE` (report only, every stream decoded)
and `g723.read_capture(CAPTURE)` (every stream decoded into arrays), and
checks that both report the same.
"""

import argparse
import json
import os
import random
import subprocess
import sys
import time
from pathlib import Path

import g723

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "python" / "tests"))
from capture_writer import CaptureWriter, packetize, split_frames  # noqa: E402
from conftest import SAMPLE  # noqa: E402


def trunk_capture(path: Path, streams: int, seconds: float) -> None:
    import wave

    import numpy as np

    with wave.open(str(SAMPLE)) as sample:
        speech = np.frombuffer(sample.readframes(sample.getnframes()), "<i2").astype(np.int16)
    frames = split_frames(g723.encode(speech, 8000))
    needed = int(seconds / 0.03)
    out = CaptureWriter()
    for stream in range(streams):
        # Each stream starts at its own place in the sample, a little later than the one before.
        offset = (37 * stream) % len(frames)
        looped = (frames[offset:] + frames * (needed // len(frames) + 2))[:needed]
        packets = packetize(looped, 4, 0x10000 + stream, 1000.0 + 0.01 * stream, per_packet=2,
                            sequence=stream * 101)
        source = (f"10.{stream // 250}.{stream % 250}.1", 20000 + 2 * (stream % 1000))
        destination = (f"10.{stream // 250}.{stream % 250}.2", 30000 + 2 * (stream % 1000))
        losing = random.Random(stream)
        for number, (arrival, packet) in enumerate(packets):
            if losing.random() < 0.005 * (stream % 8):
                continue
            late = 0.075 if number % 100 == 17 else 0.0
            out.udp(arrival + late, source, destination, packet)
    path.write_bytes(out.data())


def best_of(repeats: int, work) -> float:
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        work()
        times.append(time.perf_counter() - start)
    return min(times)


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--streams", type=int, default=100)
    parser.add_argument("--seconds", type=float, default=120.0)
    parser.add_argument("--capture", type=Path, default=ROOT / "build" / "trunk.pcap")
    parser.add_argument("--repeats", type=int, default=3)
    parser.add_argument("--make-only", action="store_true", help="write the capture, time nothing")
    parser.add_argument("--tool", type=Path, default=Path(os.environ.get("G723_TOOL", ROOT / "build" / "tools" / "g723")))
    arguments = parser.parse_args()
    if not arguments.capture.exists():
        arguments.capture.parent.mkdir(parents=True, exist_ok=True)
        trunk_capture(arguments.capture, arguments.streams, arguments.seconds)
    if arguments.make_only:
        return
    tool = [str(arguments.tool), "pcap"]
    # A tool that decodes on several threads is asked for one, as read_capture decodes.
    if b"--jobs" in subprocess.run(tool + ["--help"], capture_output=True, check=True).stdout:
        tool += ["--jobs", "1"]

    printed = json.loads(subprocess.run(tool + ["--json", str(arguments.capture)], capture_output=True,
                                        check=True).stdout)
    streams = g723.read_capture(arguments.capture)
    assert [s.report for s in streams] == [{k: v for k, v in row.items() if k != "output"}
                                            for row in printed["streams"]]
    frames = sum(len(s.frame_kinds) for s in streams)
    size = arguments.capture.stat().st_size
    print(f"capture: {arguments.capture} ({size / 1e6:.1f} MB, {printed['counts']['capture records']} records), "
          f"{len(streams)} streams, {frames * 0.03 / 3600:.2f} hours of audio")
    tool_time = best_of(arguments.repeats, lambda: subprocess.run(
        tool + [str(arguments.capture)], stdout=subprocess.DEVNULL, check=True))
    python_time = best_of(arguments.repeats, lambda: g723.read_capture(arguments.capture))
    print(f"{' '.join(Path(t).name if i == 0 else t for i, t in enumerate(tool))} CAPTURE: {tool_time:6.2f} s")
    print(f"g723.read_capture(CAPTURE): {python_time:6.2f} s ({python_time / tool_time:.2f} x the tool)")


if __name__ == "__main__":
    main()
