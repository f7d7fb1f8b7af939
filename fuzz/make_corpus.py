#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause
"""Writes the fuzz targets' seed corpus into fuzz/corpus/<target>/.

Seeds come from the bundled speech sample coded by the g723 tool (every kind
of frame the encoder writes: speech, SID and untransmitted, with and without
silence compression, compact and slot layouts) and from hostile frames built
here the way the decoder tests build them (5.3 kbit/s headers, lag and gain
codes out of range, garbage behind SID and untransmitted headers). Every file
is small; the output is the same on every run. Files of other names in the
corpus folders (inputs the fuzzers found, minimized with -merge=1) are left
alone.

usage: fuzz/make_corpus.py PATH-TO-g723-TOOL
"""
import os
import random
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


def checksum16(data):
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack(">%dH" % (len(data) // 2), data))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def udp_ipv4(src, dst, sport, dport, payload):
    udp = struct.pack(">HHHH", sport, dport, 8 + len(payload), 0) + payload
    head = struct.pack(">BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), 1, 0, 64, 17, 0, bytes(src), bytes(dst))
    head = head[:10] + struct.pack(">H", checksum16(head)) + head[12:]
    return head + udp


def udp_ipv6(src, dst, sport, dport, payload):
    udp = struct.pack(">HHHH", sport, dport, 8 + len(payload), 0) + payload
    return struct.pack(">IHBB16s16s", 0x60000000, len(udp), 17, 64, bytes(src), bytes(dst)) + udp


def ethernet(ip, vlan=None, ipv6=False):
    head = bytes.fromhex("020000000002" "020000000001")
    if vlan is not None:
        head += struct.pack(">HH", 0x8100, vlan)
    return head + struct.pack(">H", 0x86DD if ipv6 else 0x0800) + ip


def linux_cooked(ip):
    return struct.pack(">HHH8sH", 0, 1, 6, bytes.fromhex("0200000000010000"), 0x0800) + ip


def pcap_file(link_type, records):
    """A pcap file with microsecond times: records are (seconds, frame)."""
    out = struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, link_type)
    for seconds, frame in records:
        sec = int(seconds)
        out += struct.pack("<IIII", sec, int(round((seconds - sec) * 1e6)), len(frame), len(frame)) + frame
    return out


def pcapng_file(link_type, records):
    """A pcapng file: section header, one interface, enhanced packet blocks."""
    def block(kind, body):
        body += bytes(-len(body) % 4)
        return struct.pack("<II", kind, len(body) + 12) + body + struct.pack("<I", len(body) + 12)
    out = block(0x0A0D0D0A, struct.pack("<IHHq", 0x1A2B3C4D, 1, 0, -1))
    out += block(1, struct.pack("<HHI", link_type, 0, 65535))
    for seconds, frame in records:
        micros = int(round(seconds * 1e6))
        out += block(6, struct.pack("<IIIII", 0, micros >> 32, micros & 0xFFFFFFFF, len(frame), len(frame)) + frame)
    return out


def sip_invite(call_id, port, payload_type):
    sdp = ("v=0\r\no=- 1 1 IN IP4 10.0.0.1\r\ns=-\r\nc=IN IP4 10.0.0.1\r\nt=0 0\r\n"
           f"m=audio {port} RTP/AVP {payload_type} 101\r\na=rtpmap:{payload_type} G723/8000\r\n"
           f"a=fmtp:{payload_type} annexa=yes\r\na=rtpmap:101 telephone-event/8000\r\n")
    head = ("INVITE sip:bob@10.0.0.2 SIP/2.0\r\nVia: SIP/2.0/UDP 10.0.0.1:5060\r\n"
            f"Call-ID: {call_id}\r\nCSeq: 1 INVITE\r\nContent-Type: application/sdp\r\n"
            f"Content-Length: {len(sdp)}\r\n\r\n")
    return (head + sdp).encode()


def sip_ok(call_id, port, payload_type):
    sdp = ("v=0\r\nc=IN IP4 10.0.0.2\r\n"
           f"m=audio {port} RTP/AVP {payload_type}\r\na=rtpmap:{payload_type} G723/8000\r\n")
    head = (f"SIP/2.0 200 OK\r\ni: {call_id}\r\nCSeq: 1 INVITE\r\nc: application/sdp\r\n"
            f"l: {len(sdp)}\r\n\r\n")
    return (head + sdp).encode()


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    tool = sys.argv[1]
    rng = random.Random(20261207)
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

    # Timeline packets: sequence, timestamp, flags (payload length, SSRC
    # change, arrival unknown), arrival step in 10 ms, payload. A talkspurt,
    # a SID and a pause, a lost packet, a duplicate and a late packet.
    def timeline_packet(seq, ts, payload, step=3, flags=0):
        return struct.pack(">HIBB", seq & 0xFFFF, ts & 0xFFFFFFFF, flags | len(payload), step) + payload
    talk = [speech[60 + n] for n in range(12)]
    spurt = [timeline_packet(65530 + n, 4294960000 + 240 * n, talk[n]) for n in range(4)]
    spurt.append(timeline_packet(65534, 4294960000 + 960, sid[0]))
    spurt.append(timeline_packet(65535, 4294960000 + 960 + 240 * 20, talk[4], step=60))
    spurt.append(timeline_packet(1, 4294960000 + 960 + 240 * 22, talk[5] + talk[6]))
    spurt.append(timeline_packet(1, 4294960000 + 960 + 240 * 22, talk[5] + talk[6]))
    spurt.append(timeline_packet(0, 4294960000 + 960 + 240 * 21, talk[7]))
    spurt.append(timeline_packet(9, 77, talk[8], flags=0xC0))
    write("stream_timeline_fuzz", "talkspurts", b"".join(spurt))
    write("stream_timeline_fuzz", "frames-per-packet",
          b"".join(timeline_packet(100 + n, 240 * 2 * n, talk[2 * n] + talk[2 * n + 1], flags=0x40 if n == 2 else 0)
                   for n in range(5)))

    # Captures: one direction on Ethernet with a VLAN tag, a call set up by
    # SIP with a dynamic payload type in both directions on Linux cooked
    # capture, IPv6 on raw IP, and the same call as pcapng.
    a, b = [10, 0, 0, 1], [10, 0, 0, 2]
    a6 = [0x20, 0x01, 0x0D, 0xB8] + [0] * 11 + [1]
    b6 = a6[:15] + [2]

    def stream(pt, ssrc, start, count, frames_of_packet, t0=0.0):
        out, ts = [], 0
        for n in range(count):
            frames = frames_of_packet(n)
            head = struct.pack(">BBHII", 0x80, (0x80 if n == 0 else 0) | pt, (start + n) & 0xFFFF, ts, ssrc)
            out.append((t0 + ts / 8000.0, head + b"".join(frames)))
            ts += 240 * len(frames)
        return out

    one_way = stream(4, 0x11, 65530, 10, lambda n: [talk[n % 12]])
    one_way.insert(6, one_way[4])  # a duplicate
    del one_way[8]                 # a lost packet
    write("capture_reader_fuzz", "ethernet-vlan.pcap",
          pcap_file(1, [(t, ethernet(udp_ipv4(a, b, 4000, 5004, p), vlan=5)) for t, p in one_way]))

    call = [(0.0, udp_ipv4(a, b, 5060, 5060, sip_invite("call-1@a", 4000, 96))),
            (0.1, udp_ipv4(b, a, 5060, 5060, sip_ok("call-1@a", 5004, 96)))]
    forward = stream(96, 0x21, 10, 6, lambda n: [talk[n], talk[n + 1]] if n != 3 else [sid[0]], 0.2)
    backward = stream(96, 0x22, 500, 6, lambda n: [talk[11 - n]], 0.21)
    call += [(t, udp_ipv4(a, b, 4000, 5004, p)) for t, p in forward]
    call += [(t, udp_ipv4(b, a, 5004, 4000, p)) for t, p in backward]
    call.sort(key=lambda r: r[0])
    write("capture_reader_fuzz", "sip-call-cooked.pcap", pcap_file(113, [(t, linux_cooked(ip)) for t, ip in call]))
    write("capture_reader_fuzz", "sip-call.pcapng", pcapng_file(1, [(t, ethernet(ip)) for t, ip in call]))
    write("capture_reader_fuzz", "ipv6-raw.pcap",
          pcap_file(101, [(t, udp_ipv6(a6, b6, 4000, 5004, p)) for t, p in stream(4, 0x31, 7, 5,
                                                                              lambda n: [talk[n]])]))

    # Single frames for the packet decoder: the link type's choice byte
    # (index into the target's list: 1 Ethernet, 4 raw IP, 6 Linux cooked),
    # then the frame.
    write("packet_decoding_fuzz", "ethernet-vlan", bytes([1]) + ethernet(udp_ipv4(a, b, 4000, 5004, talk[0]), vlan=7))
    write("packet_decoding_fuzz", "ethernet-ipv6", bytes([1]) + ethernet(udp_ipv6(a6, b6, 1, 2, talk[1]), ipv6=True))
    write("packet_decoding_fuzz", "raw-ipv6", bytes([4]) + udp_ipv6(a6, b6, 4000, 5004, sid[0]))
    write("packet_decoding_fuzz", "cooked", bytes([6]) + linux_cooked(udp_ipv4(a, b, 5060, 5060, b"x" * 8)))
    fragment = bytearray(udp_ipv4(a, b, 4000, 5004, talk[2]))
    fragment[6] = 0x20  # more fragments
    write("packet_decoding_fuzz", "fragment", bytes([4]) + bytes(fragment))

    write("sip_sdp_fuzz", "invite", sip_invite("call-2@a", 4000, 98))
    write("sip_sdp_fuzz", "ok", sip_ok("call-2@a", 5004, 4))

    # RTP payloads as the Wireshark codec plugin gets them: the postfilter
    # byte, then each payload behind its length byte. 1 to 4 frames per
    # packet; a talkspurt's end with its SID frame, an empty payload and
    # untransmitted frames; hostile frames and a frame cut short.
    def payloads(postfilter, *items):
        return bytes([postfilter]) + b"".join(bytes([len(p)]) + p for p in items)
    write("payload_frames_fuzz", "frames-per-packet",
          payloads(1, speech[70], b"".join(speech[71:73]), b"".join(speech[73:76]), b"".join(speech[76:80])))
    write("payload_frames_fuzz", "pause",
          payloads(1, b"".join(talk[8:10]), talk[10] + sid[0], b"", b"\x03\x03", talk[11]))
    write("payload_frames_fuzz", "hostile",
          payloads(0, hostile[0], hostile[1] + hostile[2], (speech[40] + speech[41])[:37], hostile[-2],
                   speech[42][:3]))

    # The baresip module's handlers: the peer's format parameters behind
    # their length byte, then steps of a control byte (0 decode, 1 conceal a
    # gap, 2 encode, 3 update again; bits 2-4 the room or the frames a
    # packet), a length byte and the bytes. Speech to encode is PCM of the
    # sample, a quiet stretch of it to reach the silence detector.
    with wave.open(SAMPLE, "rb") as w:
        pcm = w.readframes(w.getnframes())

    def handler_steps(fmtp, *steps):
        return bytes([len(fmtp)]) + fmtp + b"".join(bytes([c, len(d)]) + d for c, d in steps)
    write("baresip_payload_fuzz", "call",
          handler_steps(b"annexa=yes", (0, speech[70]), (0, talk[10] + sid[0]), (1, speech[72]),
                        (0, speech[72]), (0, b"".join(speech[73:76])), (2 | 4, pcm[24000:24200]),
                        (2, pcm[400:600]), (3, b"")))
    write("baresip_payload_fuzz", "no-annexa",
          handler_steps(b"bitrate=6.3;annexa=no", (2 | 8, pcm[800:1000]), (2, pcm[30000:30250]),
                        (0, sid[0]), (1, b""), (3, b"")))
    write("baresip_payload_fuzz", "hostile",
          handler_steps(b"annexa;;=no;annexa=", (0 | 4, b"".join(speech[10:13])), (1 | 4, b"\x03" * 40),
                        (0, hostile[0] + hostile[1]), (0, (speech[40] + speech[41])[:37]),
                        (0 | 8, hostile[-2] + hostile[-1] * 9)))


if __name__ == "__main__":
    main()
