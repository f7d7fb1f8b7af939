#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpus into fuzz/corpus/<target>/.

Seeds come from the bundled speech sample coded by the g723 tool (every kind
of frame the encoder writes: speech, SID and untransmitted, with and without
silence compression, compact and slot layouts) and from hostile frames built
here the way the decoder tests build them (5.3 kbit/s headers, lag and gain
codes out of range, garbage behind SID and untransmitted headers). Every file
is small; the output is the same on every run.

usage: fuzz/make_corpus.py PATH-TO-g723-TOOL
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import wave

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.join(ROOT, "fuzz", "corpus")
SAMPLE = os.path.join(ROOT, "samples", "speech.wav")
FRAME_BYTES = {0: 24, 1: 20, 2: 4, 3: 1}


def frames_of(stream):
    """Splits a compact bit-stream into its frames."""
    frames, at = [], 0
    while at < len(stream):
        n = FRAME_BYTES[stream[at] & 3]
        frames.append(stream[at:at + n])
        at += n
    return frames


def set_bits(frame, start, width, value):
    for i in range(width):
        bit = start + i
        if (value >> i) & 1:
            frame[bit // 8] |= 1 << (bit % 8)
        else:
            frame[bit // 8] &= ~(1 << (bit % 8)) & 0xFF


def hostile_frames(speech, rng):
    """Valid speech frames turned hostile, one kind of fault each."""
    out = []
    for n, frame in enumerate(speech[:8]):
        f = bytearray(frame)
        kind = n % 4
        if kind == 0:
            set_bits(f, 0, 2, 1)                          # 5.3 kbit/s header over valid fields
            f = f[:20]
        elif kind == 1:
            set_bits(f, 26 if n % 2 else 35, 7, 124 + n % 4)  # lag code out of range
        elif kind == 2:
            set_bits(f, 44 + 12 * (n % 4), 12, 0xFFF - n)    # gain word out of range
        else:
            set_bits(f, 96, 1, 1)                         # the reserved bit set
        out.append(bytes(f))
    sid = bytearray(rng.randrange(256) for _ in range(4))
    set_bits(sid, 0, 2, 2)
    untransmitted = bytearray([0xFF])
    out += [bytes(sid), bytes(untransmitted)]
    return out


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def rtp(frames, seq, ts, marker=False, csrcs=0, extension=None, padding=0):
    first = 0x80 | csrcs | (0x10 if extension is not None else 0) | (0x20 if padding else 0)
    head = struct.pack(">BBHII", first, (0x80 if marker else 0) | 4, seq, ts, 0x1234ABCD)
    head += b"".join(struct.pack(">I", 0x1000 + c) for c in range(csrcs))
    if extension is not None:
        head += struct.pack(">HH", 0xBEDE, len(extension) // 4) + extension
    body = b"".join(frames)
    if padding:
        body += bytes(padding - 1) + bytes([padding])
    return head + body


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    tool = sys.argv[1]
    rng = random.Random(20261207)
    shutil.rmtree(CORPUS, ignore_errors=True)
    with tempfile.TemporaryDirectory() as tmp:
        def encode(name, *options):
            path = os.path.join(tmp, name)
            subprocess.run([tool, "encode", *options, SAMPLE, path], check=True)
            with open(path, "rb") as f:
                return f.read()

        single = encode("single.bit")
        multiple = encode("multiple.bit", "--multiple-sid")
        no_vad = encode("novad.bit", "--no-vad")
        slots = encode("slots.bit", "--slots")

    frames = frames_of(single)
    speech = [f for f in frames_of(no_vad)]
    kinds = {f[0] & 3 for f in frames_of(single) + frames_of(multiple)}
    assert kinds == {0, 2, 3}, kinds
    hostile = hostile_frames(speech[20:], rng)

    # Frame streams: stretches of about a second that take in speech onsets,
    # pauses (SID then untransmitted frames) and SID updates.
    def stretches(stream_frames, starts, length=32):
        return [b"".join(stream_frames[s:s + length]) for s in starts]

    for n, data in enumerate(stretches(frames, [0, 110, 260]) + stretches(frames_of(multiple), [115, 255]) +
                             stretches(speech, [30, 140])):
        write("decode_frame_fuzz", f"stream-{n}", data)
    write("decode_frame_fuzz", "hostile", b"".join(hostile + speech[40:44]))
    for n, frame in enumerate(hostile):
        write("unpack_frame_fuzz", f"hostile-{n}", frame)
    for n, frame in enumerate([speech[50], speech[51], frames[5], frames[1]]):
        write("unpack_frame_fuzz", f"frame-{n}", frame)
    sid = [f for f in frames if f[0] & 3 == 2]
    write("unpack_frame_fuzz", "sid", sid[0])

    slot_frames = [slots[i:i + 24] for i in range(0, len(slots), 24)]
    for n, start in enumerate([0, 115, 260]):
        write("decode_packet_fuzz", f"slots-{n}", b"".join(slot_frames[start:start + 24]))
    write("decode_packet_fuzz", "hostile", b"".join(h.ljust(24, b"\0") for h in hostile) + b"\x07\x02\x0d")

    # PCM stretches: silence into speech, speech into a pause, and the pause.
    with wave.open(SAMPLE) as w:
        pcm = w.readframes(w.getnframes())
    for n, start in enumerate([10, 115, 262]):
        write("encode_fuzz", f"pcm-{n}", pcm[start * 480:(start + 16) * 480])

    write("bitstream_reader_fuzz", "compact", b"".join(frames[110:140]))
    write("bitstream_reader_fuzz", "slots", b"".join(slot_frames[110:120]))
    write("bitstream_reader_fuzz", "truncated", b"".join(frames[20:24])[:-7])
    with open(SAMPLE, "rb") as f:
        write("bitstream_reader_fuzz", "wave-header", f.read(64))

    ts, seq = 1000, 65533  # the sequence number wraps inside the seeds
    packets = [
        rtp([speech[30]], seq, ts, marker=True),
        rtp(speech[31:35], seq + 1, ts + 240),
        rtp([sid[0]], seq + 2, ts + 1200),
        rtp(speech[35:37] + [sid[0]], (seq + 3) & 0xFFFF, ts + 2400, marker=True, csrcs=2),
        rtp([speech[37]], (seq + 4) & 0xFFFF, ts + 3120, extension=bytes(8), padding=4),
        rtp([hostile[0], hostile[1]], (seq + 5) & 0xFFFF, ts + 3360),
        rtp([speech[38][:10]], (seq + 6) & 0xFFFF, ts + 3600),
    ]
    for n, packet in enumerate(packets):
        write("rtp_packet_fuzz", f"packet-{n}", packet)


if __name__ == "__main__":
    main()
