#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause
"""G.723.1 calls through the baresip module, on a private loopback.

Each case runs in a network namespace of its own (so that it neither meets
nor disturbs anything else on the machine's loopback), captures everything
with tcpdump and then holds the result against the g723 tool:
  - the RTP payloads each side sent are `g723 encode` of that side's encoder
    input (as baresip's sndfile module recorded it), frames grouped into
    packets as the module sends them;
  - each side's decoded audio (sndfile again) is `g723 decode` of the
    payloads it received, with the frames concealed that the module conceals
    after a gap;
  - `g723 pcap` finds both directions from the SDP of the capture and writes
    the audio that `g723 decode` gives for the frames on the wire.

Cases:
  annexa     both sides allow silence compression (30 ms packets)
  no-annexa  the answering side says annexa=no: neither side sends SID
  ptime60    60 ms packets, silence compression on
  loss       packets from the caller dropped on the way by a relay, with a
             jitter buffer: one concealment per gap
  sipp       SIPp calls baresip and plays a capture of `g723 send` (90 ms
             packets)
Exit status 77 means the case cannot run here (no network namespace, no
tcpdump, no baresip).
"""
import argparse
import json
import os
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import threading
import time
import wave

SKIP = 77
SPEECH, LOW_RATE, SID, UNTRANSMITTED = 0, 1, 2, 3
FRAME_BYTES = (24, 20, 4, 1)
FRAME_SAMPLES = 240
# Ports inside the namespace: caller, answerer, relay.
CALLER_SIP, CALLER_RTP = 5080, (10000, 10009)
ANSWER_SIP, ANSWER_RTP = 5090, (10010, 10019)
RELAY_SIP, RELAY_RTP = 5070, 10020
SIPP_SIP, SIPP_RTP, SEND_PORT = 5060, 6000, 4000
# Packets from the caller the relay drops, counted from its first: two
# single packets and a burst of three.
DROPPED = {30, 61, 62, 63, 100}


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


# ---------------------------------------------------------------- bit-streams

def split_frames(data):
    """The frames of a compact bit-stream or RTP payload, whole ones only."""
    frames, offset = [], 0
    while offset < len(data):
        size = FRAME_BYTES[data[offset] & 3]
        if offset + size > len(data):
            break
        frames.append(bytes(data[offset:offset + size]))
        offset += size
    return frames


def kind(frame):
    return frame[0] & 3


def expected_packets(frames, per_packet):
    """The payloads the module sends for an encoder's frames: untransmitted
    frames left off a packet's end, those before a frame that is sent carried
    as the last SID frame again; a packet of nothing sent sends nothing.
    Returns (packet index, payload, marker) for the packets sent."""
    packets, sid, speech_before, started = [], None, False, False
    for index in range(len(frames) // per_packet):
        group = frames[index * per_packet:(index + 1) * per_packet]
        payload, sent = b"", 0
        for frame in group:
            if kind(frame) == UNTRANSMITTED:
                if sid is not None:
                    payload += sid
                continue
            if kind(frame) == SID:
                sid = frame
            payload += frame
            sent = len(payload)
        payload = payload[:sent]
        speech = any(kind(f) == SPEECH for f in group)
        if payload:
            packets.append((index, payload, not started or (speech and not speech_before)))
            started = True
        speech_before = speech
    return packets


# ------------------------------------------------------------------- captures

def read_capture(path):
    """UDP datagrams of a pcap file written by tcpdump on Linux loopback:
    (time, source port, destination port, payload)."""
    with open(path, "rb") as f:
        data = f.read()
    magic = struct.unpack("<I", data[:4])[0]
    check(magic in (0xA1B2C3D4, 0xA1B23C4D), f"{path}: not a little-endian pcap file")
    nano = magic == 0xA1B23C4D
    linktype = struct.unpack("<I", data[20:24])[0]
    check(linktype == 1, f"{path}: link type {linktype}, not Ethernet")
    datagrams, offset = [], 24
    while offset + 16 <= len(data):
        seconds, fraction, caplen, _ = struct.unpack("<IIII", data[offset:offset + 16])
        record = data[offset + 16:offset + 16 + caplen]
        offset += 16 + caplen
        if len(record) < 14 + 20 + 8 or record[12:14] != b"\x08\x00":
            continue
        ip = record[14:]
        header = (ip[0] & 15) * 4
        if ip[9] != 17:
            continue
        sport, dport, length = struct.unpack("!HHH", ip[header:header + 6])
        payload = ip[header + 8:header + length]
        datagrams.append((seconds + fraction / (1e9 if nano else 1e6), sport, dport, payload))
    return datagrams


def rtp_packets(datagrams, dport, sport=None):
    """The G.723.1 RTP packets sent to dport (from sport): dicts with seq
    (extended), ts, marker and payload, in order of sequence number."""
    packets, last = [], None
    for _, source, destination, data in datagrams:
        if destination != dport or (sport is not None and source != sport):
            continue
        if len(data) < 12 or data[0] >> 6 != 2 or data[1] & 0x7F != 4:
            continue
        csrc = data[0] & 15
        header = 12 + 4 * csrc
        if data[0] & 0x10:
            header += 4 + 4 * struct.unpack("!H", data[header + 2:header + 4])[0]
        end = len(data) - (data[-1] if data[0] & 0x20 else 0)
        seq, ts = struct.unpack("!HI", data[2:8])
        if last is not None:
            seq += (last & ~0xFFFF)
            if seq < last - 0x8000:
                seq += 0x10000
        last = seq
        packets.append({"seq": seq, "ts": ts, "marker": bool(data[1] & 0x80),
                        "payload": bytes(data[header:end])})
    packets.sort(key=lambda p: p["seq"])
    return packets


def sip_bodies(datagrams):
    """The SDP bodies of the capture's INVITE and 200 OK, in order."""
    bodies = []
    for _, _, _, data in datagrams:
        text = data.decode("latin-1")
        if not (text.startswith("INVITE ") or text.startswith("SIP/2.0 200")):
            continue
        if "application/sdp" not in text or "\r\n\r\n" not in text:
            continue
        bodies.append((text.split("\r\n", 1)[0], text.split("\r\n\r\n", 1)[1]))
    return bodies


def sdp_port(body):
    for line in body.splitlines():
        if line.startswith("m=audio "):
            return int(line.split()[1])
    raise Failure("no m=audio line in the SDP:\n" + body)


# ---------------------------------------------------------------------- audio

def read_wav(path):
    with wave.open(path, "rb") as w:
        check(w.getframerate() == 8000 and w.getnchannels() == 1 and w.getsampwidth() == 2,
              f"{path}: not 8 kHz mono 16-bit")
        return w.readframes(w.getnframes())


def write_wav(path, samples):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(8000)
        w.writeframes(samples)


class Tool:
    def __init__(self, path, work):
        self.path, self.work, self.count = path, work, 0

    def run(self, *arguments, prefix=()):
        result = subprocess.run([*prefix, self.path, *arguments], capture_output=True, text=True,
                                timeout=60)
        check(result.returncode == 0, f"g723 {' '.join(arguments)}: {result.stderr}")
        return result.stdout

    def encode(self, wav, vad):
        self.count += 1
        out = os.path.join(self.work, f"encoded-{self.count}.g723")
        self.run("encode", *([] if vad else ["--no-vad"]), wav, out)
        with open(out, "rb") as f:
            return f.read()

    def decode(self, bitstream):
        self.count += 1
        source = os.path.join(self.work, f"stream-{self.count}.g723")
        out = os.path.join(self.work, f"decoded-{self.count}.wav")
        with open(source, "wb") as f:
            f.write(bitstream)
        self.run("decode", source, out)
        return read_wav(out)


def same_audio(name, got, expected, slack_frames):
    """got must be expected, sample for sample, except that the end of a call
    may cut it short by up to slack_frames frames."""
    frames_got, frames_expected = len(got) // 480, len(expected) // 480
    check(frames_got > 0, f"{name}: no audio")
    check(frames_got <= frames_expected,
          f"{name}: {frames_got} frames, more than the {frames_expected} expected")
    check(frames_got >= frames_expected - slack_frames,
          f"{name}: {frames_got} frames, fewer than the {frames_expected} expected")
    if got != expected[:len(got)]:
        first = next(i for i in range(0, len(got), 2) if got[i:i + 2] != expected[i:i + 2])
        raise Failure(f"{name}: differs from sample {first // 2} (frame {first // 480}) on")
    print(f"{name}: {frames_got} frames equal (of {frames_expected})")


# ---------------------------------------------------------------- the parties

def realtime():
    """The prefix that runs live senders and receivers under SCHED_FIFO, so
    that they keep real time on a busy machine; none without the privilege."""
    try:
        if subprocess.run(["chrt", "-f", "10", "true"], capture_output=True).returncode == 0:
            return ["chrt", "-f", "10"]
    except OSError:
        pass
    return []


class Processes:
    """Programs started by this test, each ended by its own id; the live
    ones under SCHED_FIFO."""

    def __init__(self):
        self.running = []
        self.realtime = realtime()

    def start(self, name, command, log, **options):
        if name != "tcpdump":
            command = self.realtime + command
        handle = open(log, "w")
        process = subprocess.Popen(command, stdout=handle, stderr=subprocess.STDOUT,
                                   stdin=subprocess.DEVNULL, **options)
        self.running.append((name, process))
        return process

    def stop(self, process, how=signal.SIGINT, wait=10):
        if process.poll() is None:
            process.send_signal(how)
            try:
                process.wait(wait)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

    def stop_all(self):
        for _, process in reversed(self.running):
            self.stop(process, signal.SIGKILL if process.poll() is None else signal.SIGINT)


def baresip_folder(work, name, modules, sip, rtp, source, extra):
    folder = os.path.join(work, name)
    record = os.path.join(folder, "record")
    os.makedirs(record)
    # Codecs load before the accounts that name them; G.711 is there to be
    # left out of the offer by the account's audio_codecs.
    lines = [f"module_path {modules}"] + [f"module {m}.so" for m in
                                          ("g723", "g711", "account", "menu", "aufile", "sndfile")]
    lines += [f"sip_listen 127.0.0.1:{sip}", "net_interface 127.0.0.1",
              f"rtp_ports {rtp[0]}-{rtp[1]}", f"audio_source aufile,{source}",
              f"snd_path {record}"] + extra
    with open(os.path.join(folder, "config"), "w") as f:
        f.write("\n".join(lines) + "\n")
    return folder


def account(folder, user, ptime):
    with open(os.path.join(folder, "accounts"), "w") as f:
        f.write(f"<sip:{user}@127.0.0.1>;regint=0;audio_codecs=G723/8000/1;ptime={ptime};"
                "answermode=auto\n")


def recorded(folder, which):
    record = os.path.join(folder, "record")
    names = [n for n in os.listdir(record) if n.endswith(f"-{which}.wav")]
    check(len(names) == 1, f"{record}: {len(names)} files *-{which}.wav")
    return read_wav(os.path.join(record, names[0]))


def wait_for(path, text, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if os.path.exists(path):
            with open(path, errors="replace") as f:
                if text in f.read():
                    return True
        time.sleep(0.05)
    return False


class Relay(threading.Thread):
    """Carries the caller's SIP to the answerer, with the answer's SDP port
    turned to the relay's RTP port, and the caller's RTP on to the answerer,
    dropping the packets in DROPPED (counted from the first)."""

    def __init__(self):
        super().__init__(daemon=True)
        self.stopping = threading.Event()
        self.caller_sip = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.caller_sip.bind(("127.0.0.1", RELAY_SIP))
        self.answer_sip = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.answer_sip.bind(("127.0.0.1", 0))
        self.rtp_in = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.rtp_in.bind(("127.0.0.1", RELAY_RTP))
        self.rtp_out = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.rtp_out.bind(("127.0.0.1", 0))
        self.caller = None
        self.answer_rtp = None
        self.forwarded = 0
        self.dropped = 0

    def run(self):
        sockets = [self.caller_sip, self.answer_sip, self.rtp_in]
        rtp_count = 0
        while not self.stopping.is_set():
            ready, _, _ = select.select(sockets, [], [], 0.1)
            for s in ready:
                data, source = s.recvfrom(65536)
                if s is self.caller_sip:
                    self.caller = source
                    self.answer_sip.sendto(data, ("127.0.0.1", ANSWER_SIP))
                elif s is self.answer_sip and self.caller:
                    text = data.decode("latin-1")
                    if "m=audio " in text:
                        port = int(text.split("m=audio ", 1)[1].split()[0])
                        self.answer_rtp = port
                        # Same number of digits: Content-Length stays right.
                        text = text.replace(f"m=audio {port} ", f"m=audio {RELAY_RTP} ")
                        data = text.encode("latin-1")
                    self.caller_sip.sendto(data, self.caller)
                elif s is self.rtp_in and self.answer_rtp:
                    if len(data) >= 2 and data[1] & 0x7F == 4:
                        rtp_count += 1
                        if rtp_count in DROPPED:
                            self.dropped += 1
                            continue
                    self.forwarded += 1
                    self.rtp_out.sendto(data, ("127.0.0.1", self.answer_rtp))

    def stop(self):
        self.stopping.set()
        self.join(5)
        for s in (self.caller_sip, self.answer_sip, self.rtp_in, self.rtp_out):
            s.close()


# ----------------------------------------------------------------- the cases

def cut(source, out, start, seconds):
    with wave.open(source, "rb") as w:
        w.setpos(int(start * 8000))
        samples = w.readframes(int(seconds * 8000))
    write_wav(out, samples)


def call_case(case, args, tool, work, processes):
    modules = private_modules(work, args.module)
    caller_input = os.path.join(work, "caller.wav")
    answer_input = os.path.join(work, "answer.wav")
    cut(args.sample, caller_input, 0.0, 4.5)
    # Longer than the caller's, so that the caller ends the call.
    cut(args.sample, answer_input, 2.0, 6.5)

    per_packet = 2 if case == "ptime60" else 1
    ptime = 30 * per_packet
    answer_annexa = case != "no-annexa"
    jitter = ["jitter_buffer_delay 2-8"] if case == "loss" else ["jitter_buffer_delay 0-0"]
    common = [f"g723_ptime {ptime}"] + jitter
    caller = baresip_folder(work, "caller", modules, CALLER_SIP, CALLER_RTP, caller_input, common)
    answer = baresip_folder(work, "answer", modules, ANSWER_SIP, ANSWER_RTP, answer_input,
                            common + ([] if answer_annexa else ["g723_annexa no"]))
    account(caller, "caller", ptime)
    account(answer, "answer", ptime)

    capture = os.path.join(work, "call.pcap")
    dump = start_capture(processes, work, capture)
    relay = None
    target = ANSWER_SIP
    if case == "loss":
        relay = Relay()
        relay.start()
        target = RELAY_SIP
    answer_log = os.path.join(work, "answer.log")
    caller_log = os.path.join(work, "caller.log")
    answering = processes.start("answer", ["baresip", "-f", answer, "-t", "30"], answer_log)
    check(wait_for(answer_log, "baresip is ready", 10), "the answering baresip did not start")
    calling = processes.start("caller", ["baresip", "-f", caller, "-t", "30", "-e",
                                         f"/dial sip:answer@127.0.0.1:{target}"], caller_log)
    finished = wait_for(caller_log, "terminated", 25) and wait_for(answer_log, "terminated", 5)
    time.sleep(0.3)
    for process in (calling, answering):
        processes.stop(process)
    stop_capture(processes, dump, capture)
    if relay:
        relay.stop()
    check(finished, "the call did not end in time:\n" + tail(caller_log) + tail(answer_log))

    datagrams = read_capture(capture)
    bodies = sip_bodies(datagrams)
    check(len(bodies) >= 2, f"the capture holds {len(bodies)} SDP bodies, not an offer and answer")
    offer, answer_sdp = bodies[0][1], bodies[-1][1]
    for name, body, annexa in (("offer", offer, True), ("answer", answer_sdp, answer_annexa)):
        print(f"--- {name} ({bodies[0][0] if name == 'offer' else bodies[-1][0]})")
        print(body.strip())
        media = [line for line in body.splitlines() if line.startswith("m=audio ")][0]
        check(media.split()[3:] == ["4", "101"],
              f"{name}: not G.723.1 alone (with telephone events): {media}")
        check("a=rtpmap:4 G723/8000" in body, f"{name}: no rtpmap for G723/8000")
        want = "annexa=yes" if annexa else "annexa=no"
        check(f"a=fmtp:4 {want}" in body, f"{name}: no a=fmtp:4 {want}")
    caller_port = sdp_port(offer)
    answer_port = sdp_port(bodies[-1][1])
    if relay:
        check(answer_port == RELAY_RTP, "the relay did not turn the answer's port")
        answer_port = relay.answer_rtp
        print(f"relay: {relay.forwarded} RTP packets carried, {relay.dropped} dropped")
        check(relay.dropped == len(DROPPED), "the relay did not drop every packet it should")

    silence = answer_annexa  # both sides allow it only when the answer does
    sides = (("caller", caller, answer, RELAY_RTP if relay else answer_port),
             ("answer", answer, caller, caller_port))
    for name, own, peer, port in sides:
        # What this side sent, against the tool's encoding of its input.
        sent = rtp_packets(datagrams, port)
        check(sent, f"{name}: no RTP packets to port {port}")
        frames = split_frames(tool.encode(encoder_input(own), silence))
        expected = expected_packets(frames, per_packet)
        # baresip may code a packet or two before the stream can send.
        skipped = next((n for n, e in enumerate(expected[:4]) if e[1] == sent[0]["payload"]), None)
        check(skipped is not None, f"{name}: the first packet sent is none of the first the "
              "tool's encoding of the input makes")
        expected = expected[skipped:]
        first_index = expected[0][0]
        ts0 = sent[0]["ts"]
        for number, packet in enumerate(sent):
            index = first_index + ((packet["ts"] - ts0) & 0xFFFFFFFF) // (FRAME_SAMPLES * per_packet)
            check(number < len(expected) and expected[number][0] == index,
                  f"{name}: packet {number} (seq {packet['seq']}) at packet time {index}, "
                  "not where the encoder's next packet falls")
            check(packet["payload"] == expected[number][1],
                  f"{name}: packet {number} is not the tool's encoding of the input")
            check(packet["marker"] == expected[number][2],
                  f"{name}: packet {number} has the marker bit {packet['marker']}")
        # The call's end may leave the last few unsent.
        check(len(sent) >= len(expected) - 10,
              f"{name}: sent {len(sent)} packets of the {len(expected)} the input makes")
        kinds = [kind(f) for p in sent for f in split_frames(p["payload"])]
        print(f"{name}: {len(sent)} packets sent, equal to the tool's encoding of its input "
              f"({kinds.count(SPEECH)} speech frames, {kinds.count(SID)} SID"
              + (f"; {skipped} coded before the stream could send" if skipped else "") + ")")
        if not silence:
            check(kinds.count(SID) == 0, f"{name}: SID frames sent without annexa")
        else:
            check(kinds.count(SID) > 0, f"{name}: no SID frames sent with annexa")

        # What the peer received and decoded.
        received = rtp_packets(datagrams, port if not (relay and name == "caller") else answer_port)
        stream = b""
        gaps = 0
        for before, packet in zip([None] + received, received):
            if before is not None and packet["seq"] != before["seq"] + 1:
                gaps += 1
                # One concealed frame for each frame of the packet after the
                # gap: a 5.3 kbit/s frame, which the decoder conceals.
                stream += (b"\x01" + bytes(19)) * len(split_frames(packet["payload"]))
            stream += packet["payload"]
        if relay and name == "caller":
            check(gaps == 3, f"{gaps} gaps in what the answer received, not 3")
        decoded = recorded(peer, "dec")
        same_audio(f"{'answer' if name == 'caller' else 'caller'} decoded", decoded,
                   tool.decode(stream), 6)

    check_pcap(tool, work, capture, datagrams, {caller_port, answer_port})


def encoder_input(folder):
    record = os.path.join(folder, "record")
    names = [n for n in os.listdir(record) if n.endswith("-enc.wav")]
    check(len(names) == 1, f"{record}: {len(names)} encoder inputs")
    return os.path.join(record, names[0])


def check_pcap(tool, work, capture, datagrams, receiving_ports):
    """g723 pcap finds both directions (to each side's SDP port) by the SDP
    and writes what g723 decode gives for the frames on the wire, silence
    gaps as untransmitted frames, lost packets as concealed ones."""
    out = os.path.join(work, "pcap")
    report = json.loads(tool.run("pcap", "--json", capture, out))
    streams = report["streams"]
    received_ports = {}
    for s in streams:
        check(s["payload_type_source"] == "SDP",
              f"pcap: {s['name']} found by {s['payload_type_source']}, not the SDP")
        dport = int(s["name"].split(" > ")[1].split(" ")[0].rsplit(":", 1)[1])
        sport = int(s["name"].split(" > ")[0].rsplit(":", 1)[1])
        received_ports[(sport, dport)] = s
    check(receiving_ports <= {dport for _, dport in received_ports},
          f"pcap: streams {sorted(received_ports)}, not to both ports {sorted(receiving_ports)}")
    for (sport, dport), s in received_ports.items():
        packets = rtp_packets(datagrams, dport, sport)
        stream, before = b"", None
        for packet in packets:
            if before is not None:
                step = FRAME_SAMPLES * len(split_frames(before["payload"]))
                missing = ((packet["ts"] - before["ts"]) & 0xFFFFFFFF) - step
                lost = packet["seq"] - before["seq"] - 1
                if lost:
                    stream += (b"\x01" + bytes(19)) * (missing // FRAME_SAMPLES)
                else:
                    stream += b"\x03" * (missing // FRAME_SAMPLES)
            stream += packet["payload"]
            before = packet
        same_audio(f"pcap {s['name']}", read_wav(s["output"]), tool.decode(stream), 0)


def private_modules(work, own_module):
    """baresip looks modules up in one folder: Debian's and ours, linked."""
    folder = os.path.join(work, "modules")
    os.makedirs(folder)
    for name in ("g711", "account", "menu", "aufile", "sndfile"):
        os.symlink(os.path.join(system_modules(), name + ".so"), os.path.join(folder, name + ".so"))
    os.symlink(os.path.abspath(own_module), os.path.join(folder, "g723.so"))
    return folder


def system_modules():
    for folder in ("/usr/lib/baresip/modules", "/usr/local/lib/baresip/modules"):
        if os.path.exists(os.path.join(folder, "account.so")):
            return folder
    raise Failure("baresip's modules not found")


def start_capture(processes, work, capture, expression="udp"):
    log = capture + ".log"
    dump = processes.start("tcpdump", ["tcpdump", "-i", "lo", "--immediate-mode", "-U", "-w",
                                       capture, expression], log)
    if not wait_for(log, "listening on", 10):
        processes.stop(dump)
        print("tcpdump cannot capture here:", tail(log))
        sys.exit(SKIP)
    return dump


def stop_capture(processes, dump, capture):
    """Stops tcpdump once the capture file has stopped growing."""
    size, deadline = -1, time.monotonic() + 5
    while time.monotonic() < deadline:
        time.sleep(0.3)
        now = os.path.getsize(capture) if os.path.exists(capture) else 0
        if now == size:
            break
        size = now
    processes.stop(dump)


def tail(path, lines=15):
    try:
        with open(path, errors="replace") as f:
            return "".join(f.readlines()[-lines:])
    except OSError:
        return ""


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("case", choices=("annexa", "no-annexa", "ptime60", "loss", "sipp"))
    parser.add_argument("--tool", required=True, help="the g723 tool")
    parser.add_argument("--module", required=True, help="the built g723.so")
    parser.add_argument("--sample", required=True, help="an 8 kHz mono speech WAV")
    parser.add_argument("--work", required=True, help="a folder for the case's files")
    args = parser.parse_args()

    if os.environ.get("G723_PRIVATE_NETWORK") != "1":
        if shutil.which("baresip") is None or shutil.which("tcpdump") is None:
            print("baresip or tcpdump is not installed")
            return SKIP
        if subprocess.run(["unshare", "--net", "true"], capture_output=True).returncode != 0:
            print("no private network namespace here (unshare --net)")
            return SKIP
        environment = dict(os.environ, G723_PRIVATE_NETWORK="1")
        return subprocess.run(["unshare", "--net", sys.executable, os.path.abspath(__file__),
                               *sys.argv[1:]], env=environment).returncode

    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    tool = Tool(os.path.abspath(args.tool), args.work)
    processes = Processes()
    try:
        if args.case == "sipp":
            sipp_case(args, tool, args.work, processes)
        else:
            call_case(args.case, args, tool, args.work, processes)
    except Failure as failure:
        print("FAIL:", failure)
        return 1
    finally:
        processes.stop_all()
    print(f"{args.case}: passed")
    return 0


def sipp_case(args, tool, work, processes):
    """SIPp calls an answering baresip and plays a capture of g723 send."""
    if shutil.which("sipp") is None:
        print("sipp is not installed")
        sys.exit(SKIP)
    modules = private_modules(work, args.module)
    source = os.path.join(work, "sipp.wav")
    answer_input = os.path.join(work, "answer.wav")
    cut(args.sample, source, 0.0, 3.0)
    cut(args.sample, answer_input, 3.0, 6.0)

    # The media: g723 send of the input, captured on its way to a socket.
    sent_capture = os.path.join(work, "sent.pcap")
    listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    listener.bind(("127.0.0.1", SEND_PORT))
    dump = start_capture(processes, work, sent_capture, f"udp port {SEND_PORT}")
    # Three frames a packet, which baresip itself does not send by default.
    print(tool.run("send", "--frames-per-packet", "3", source, f"udp://127.0.0.1:{SEND_PORT}",
                   prefix=processes.realtime).strip())
    stop_capture(processes, dump, sent_capture)
    listener.close()
    sent = rtp_packets(read_capture(sent_capture), SEND_PORT)
    bitstream = b"".join(p["payload"] for p in sent)
    transmitted = [f for f in split_frames(tool.encode(source, True)) if kind(f) != UNTRANSMITTED]
    check(split_frames(bitstream) == transmitted[:len(split_frames(bitstream))]
          and len(split_frames(bitstream)) == len(transmitted),
          "the capture of g723 send does not hold the frames of g723 encode")

    answer = baresip_folder(work, "answer", modules, ANSWER_SIP, ANSWER_RTP, answer_input,
                            ["jitter_buffer_delay 0-0"])
    account(answer, "answer", 30)
    capture = os.path.join(work, "call.pcap")
    dump = start_capture(processes, work, capture)
    answer_log = os.path.join(work, "answer.log")
    answering = processes.start("answer", ["baresip", "-f", answer, "-t", "30"], answer_log)
    check(wait_for(answer_log, "baresip is ready", 10), "the answering baresip did not start")
    scenario = os.path.join(os.path.dirname(os.path.abspath(__file__)), "sipp_g723_call.xml")
    sipp_log = os.path.join(work, "sipp.log")
    sipp = processes.start("sipp", ["sipp", "-sf", scenario, "-m", "1", "-l", "1",
                                    "-i", "127.0.0.1", "-p", str(SIPP_SIP), "-mp", str(SIPP_RTP),
                                    "-s", "answer", "-timeout", "20s", "-timeout_error",
                                    "-nostdin", "-trace_err", f"127.0.0.1:{ANSWER_SIP}"],
                           sipp_log, cwd=work)
    try:
        status = sipp.wait(25)
    except subprocess.TimeoutExpired:
        status = None
    ended = wait_for(answer_log, "terminated", 5)
    processes.stop(answering)
    stop_capture(processes, dump, capture)
    check(status == 0, f"sipp ended with {status}:\n" + tail(sipp_log))
    check(ended, "baresip did not see the call end:\n" + tail(answer_log))
    print("sipp: 1 call, successful")

    datagrams = read_capture(capture)
    bodies = sip_bodies(datagrams)
    check(len(bodies) >= 2, "no offer and answer in the capture")
    for name, (first, body) in (("offer", bodies[0]), ("answer", bodies[-1])):
        print(f"--- {name} ({first})")
        print(body.strip())
    # No annexa in the offer allows silence compression: baresip sends SID.
    check("a=fmtp:4 annexa=yes" in bodies[-1][1], "the answer does not allow annexa")
    answer_port = sdp_port(bodies[-1][1])
    played = rtp_packets(datagrams, answer_port)
    check([p["payload"] for p in played] == [p["payload"] for p in sent],
          f"SIPp played {len(played)} packets, not the {len(sent)} of the capture")
    back = rtp_packets(datagrams, SIPP_RTP)
    sids = sum(kind(f) == SID for p in back for f in split_frames(p["payload"]))
    check(sids > 0, "baresip sent no SID frame to an offer without annexa")
    print(f"sipp: played {len(played)} packets of g723 send's capture; "
          f"baresip sent {len(back)} packets back, {sids} SID")
    same_audio("answer decoded", recorded(answer, "dec"), tool.decode(bitstream), 0)


if __name__ == "__main__":
    sys.exit(main())
