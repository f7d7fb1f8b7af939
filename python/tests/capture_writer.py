# SPDX-License-Identifier: BSD-2-Clause
"""Writes the packet captures the capture tests read: RTP streams of
G.723.1 frames as a sender packs them, SIP with SDP, in a classic pcap file
of Ethernet, IPv4 and UDP."""

import socket
import struct

KIND_BYTES = (24, 20, 4, 1)  # meaningful bytes by the two low bits of the first byte


def split_frames(coded: bytes) -> list:
    """A compact bit-stream as its frames."""
    frames, at = [], 0
    while at < len(coded):
        size = KIND_BYTES[coded[at] & 3]
        frames.append(coded[at:at + size])
        at += size
    return frames


def rtp_packet(payload_type: int, sequence: int, timestamp: int, ssrc: int, payload: bytes,
               marker: bool = False) -> bytes:
    return struct.pack("!BBHII", 0x80, payload_type | (0x80 if marker else 0), sequence & 0xFFFF,
                       timestamp & 0xFFFFFFFF, ssrc) + payload


def packetize(frames: list, payload_type: int, ssrc: int, start: float, *, per_packet: int = 1,
              sequence: int = 1000, timestamp: int = 5000) -> list:
    """(capture time, RTP datagram) of each packet a sender sends: up to
    `per_packet` consecutive transmitted frames each, untransmitted frames not
    sent, each sent when its last frame is complete."""
    packets, run = [], []
    for index, frame in enumerate(frames + [b"\x03"]):
        if frame[0] & 3 != 3:
            run.append((index, frame))
        if run and (len(run) == per_packet or frame[0] & 3 == 3 or index == len(frames)):
            first = run[0][0]
            packets.append((start + (run[-1][0] + 1) * 0.03,
                            rtp_packet(payload_type, sequence, timestamp + 240 * first, ssrc,
                                       b"".join(f for _, f in run))))
            sequence += 1
            run = []
    return packets


def sip_with_sdp(start_line: str, call_id: str, address: str, port: int, payload_type: int) -> bytes:
    body = (f"v=0\r\no=- 1 1 IN IP4 {address}\r\ns=call\r\nc=IN IP4 {address}\r\nt=0 0\r\n"
            f"m=audio {port} RTP/AVP {payload_type}\r\na=rtpmap:{payload_type} G723/8000\r\n")
    return (f"{start_line}\r\nVia: SIP/2.0/UDP host\r\nCall-ID: {call_id}\r\nCSeq: 1 INVITE\r\n"
            f"Content-Type: application/sdp\r\nContent-Length: {len(body)}\r\n\r\n{body}").encode()


class CaptureWriter:
    """UDP datagrams over IPv4 over Ethernet, as a classic pcap file."""

    def __init__(self):
        self.records = []

    def udp(self, seconds: float, source: tuple, destination: tuple, payload: bytes) -> None:
        udp = struct.pack("!HHHH", source[1], destination[1], 8 + len(payload), 0) + payload
        ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), 0, 0x4000, 64, 17, 0,
                         socket.inet_aton(source[0]), socket.inet_aton(destination[0])) + udp
        ethernet = b"\x02\x00\x00\x00\x00\x02" + b"\x02\x00\x00\x00\x00\x01" + b"\x08\x00"
        self.records.append((seconds, ethernet + ip))

    def data(self) -> bytes:
        """The capture, records in time order."""
        out = [struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1)]
        for seconds, frame in sorted(self.records, key=lambda record: record[0]):
            whole = int(seconds)
            micro = round((seconds - whole) * 1e6)
            out += [struct.pack("<IIII", whole, micro, len(frame), len(frame)), frame]
        return b"".join(out)
