# SPDX-License-Identifier: BSD-2-Clause
"""read_capture and read_calls give what `g723 pcap` reports and writes,
stream for stream and sample for sample."""

import json
import wave

import numpy as np
import pytest

import g723
from capture_writer import CaptureWriter, packetize, sip_with_sdp, split_frames
from conftest import ROOT

CALLER, CALLEE = ("10.0.0.1", 40000), ("10.0.0.2", 50000)


@pytest.fixture(scope="module")
def capture(speech, tmp_path_factory):
    """A call on dynamic type 97 announced by SIP/SDP, one direction with
    loss, reordering and a duplicate, the other changing SSRC halfway; a
    static-type stream; a stream of type 98 that only payload_types takes;
    and a datagram that is not RTP."""
    frames = split_frames(g723.encode(speech, 8000))
    assert {frame[0] & 3 for frame in frames} == {0, 2, 3}  # speech, SID, untransmitted
    out = CaptureWriter()
    out.udp(99.0, ("10.0.0.1", 5060), ("10.0.0.2", 5060),
            sip_with_sdp("INVITE sip:b@example.com SIP/2.0", "call-1", *CALLER, 97))
    out.udp(99.5, ("10.0.0.2", 5060), ("10.0.0.1", 5060),
            sip_with_sdp("SIP/2.0 200 OK", "call-1", *CALLEE, 97))

    forward = packetize(frames, 97, 0x1111, 100.0, per_packet=2)
    del forward[7]  # lost
    forward[10], forward[11] = (forward[11][0], forward[10][1]), (forward[10][0], forward[11][1])
    forward.append((forward[20][0] + 0.002, forward[20][1]))  # duplicated
    half = len(frames) // 2
    backward = (packetize(frames[:half], 97, 0x2222, 100.45)
                + packetize(frames[half:], 97, 0x3333, 100.45 + half * 0.03, sequence=7))
    for packets, source, destination in ((forward, CALLER, CALLEE), (backward, CALLEE, CALLER)):
        for seconds, packet in packets:
            out.udp(seconds, source, destination, packet)
    for seconds, packet in packetize(frames[:100], 4, 0x4444, 101.0, per_packet=3)[::2]:
        out.udp(seconds, ("10.0.0.3", 6000), ("10.0.0.4", 6002), packet)
    for seconds, packet in packetize(frames[50:150], 98, 0x5555, 102.0):
        out.udp(seconds, ("10.0.0.5", 7000), ("10.0.0.6", 7002), packet)
    out.udp(103.0, ("10.0.0.7", 9), ("10.0.0.8", 9), b"\x01not rtp")
    path = tmp_path_factory.mktemp("capture") / "call.pcap"
    path.write_bytes(out.data())
    return path


def read_wav(path: str) -> np.ndarray:
    with wave.open(path) as audio:
        samples = np.frombuffer(audio.readframes(audio.getnframes()), "<i2")
        return samples.reshape(-1, audio.getnchannels()).squeeze()


def check_equal_to_tool(streams, printed: dict) -> None:
    """The streams hold the tool's report rows and the audio of its files."""
    assert len(streams) == len(printed["streams"])
    for stream, row in zip(streams, printed["streams"]):
        output = row.pop("output")
        assert stream.report == row and stream.name == row["name"]
        assert np.array_equal(stream.samples, read_wav(output))
        kinds = np.bincount(stream.frame_kinds, minlength=5)
        assert len(stream.frame_kinds) * 240 == len(stream.samples)
        assert kinds[g723.FrameKind.LOST] == row["lost_frames"]
        assert kinds[g723.FrameKind.SID] == row["sid_frames"]
        assert kinds[g723.FrameKind.UNTRANSMITTED] == row["untransmitted_frames"]
        assert kinds[g723.FrameKind.SPEECH] + kinds[g723.FrameKind.SID] + kinds[g723.FrameKind.CONCEALED] == row["frames"]
        assert len(stream.segment_starts) == row["segments"] and stream.segment_starts[0] == 0


@pytest.mark.parametrize("payload_types,options", [((), []), (98, ["--pt", "98", "--no-postfilter"])])
def test_streams_equal_the_tool(capture, tool, tmp_path, payload_types, options):
    printed = json.loads(tool("pcap", "--json", *options, capture, tmp_path).stdout)
    streams = g723.read_capture(capture, payload_types, postfilter="--no-postfilter" not in options)
    assert streams.counts == printed["counts"] and streams.counts["UDP not RTP"] == 1
    check_equal_to_tool(streams, printed)

    by_ssrc = {stream.ssrc: stream for stream in streams}
    assert set(by_ssrc) == {0x1111, 0x2222, 0x3333, 0x4444} | ({0x5555} if payload_types else set())
    assert [by_ssrc[0x1111].report[key] for key in ("lost_packets", "reordered", "duplicated")] == [1, 1, 1]
    assert by_ssrc[0x1111].payload_type_source == "SDP" and by_ssrc[0x4444].payload_type_source == "static"
    assert by_ssrc[0x1111].source == CALLER and by_ssrc[0x1111].destination == CALLEE
    assert by_ssrc[0x1111].start == pytest.approx(100.06)
    if payload_types:
        assert by_ssrc[0x5555].payload_type_source == "--pt"


@pytest.mark.parametrize("name", ["rtp-stream.pcap", "call.pcap"])
def test_the_sample_captures_equal_the_tool(tool, tmp_path, name):
    """The bundled captures, recorded live on the loopback interface."""
    sample = ROOT / "samples" / name
    check_equal_to_tool(g723.read_capture(sample), json.loads(tool("pcap", "--json", sample, tmp_path).stdout))
    printed = json.loads(tool("pcap", "--json", "--stereo", sample, tmp_path / "stereo").stdout)
    for call in g723.read_calls(sample):
        left = {row["name"]: row["output"] for row in printed["streams"]}[call.first[0].name]
        assert np.array_equal(call.samples, read_wav(left.removesuffix(" (left)")))
    assert len(g723.read_calls(sample)) == (name == "call.pcap")


def test_srtp_calls_decrypt_with_the_sdp_keys_or_those_given(tool, tmp_path):
    """The bundled SRTP call between two baresip processes: decrypted with
    the keys of its SDP as the tool decrypts it; a key given wins over the
    SDP's; a key that cannot be used raises without being shown."""
    sample = ROOT / "samples" / "srtp-call.pcap"
    capture = g723.read_capture(sample)
    check_equal_to_tool(capture, json.loads(tool("pcap", "--json", sample, tmp_path).stdout))
    assert len(capture) == 2
    for stream in capture:
        assert stream.report["encrypted"] and stream.report["key_source"] == "SDP"
        assert stream.report["srtp_suite"] == "AES_CM_128_HMAC_SHA1_80"
        assert stream.report["authentication_failures"] == 0 and len(stream.samples) > 0
    address, port = capture[0].source
    wrong = f"{address}:{port} AES_CM_128_HMAC_SHA1_80 inline:QYH2iQEeAJ4o8rKOzU3vjbK52Fv9/Fdjt2SiqtC5"
    given = g723.read_capture(sample, srtp_keys=wrong)
    assert given[0].report["key_source"] == "given"
    assert given[0].report["authentication_failures"] == capture[0].report["packets"]
    assert len(given[0].samples) == 0
    assert np.array_equal(given[1].samples, capture[1].samples)
    calls = g723.read_calls(sample, srtp_keys=[wrong])
    assert len(calls) == 1
    with pytest.raises(ValueError) as raised:
        g723.read_capture(sample, srtp_keys=["127.0.0.1 AES_CM_128_HMAC_SHA1_80 inline:lE1zfTz4uUGhcL6VDM9uBKSCiZc4K+GdDsfjdTU="])
    assert "needs a key of 30 bytes" in str(raised.value) and "lE1zfTz4" not in str(raised.value)
    with pytest.raises(TypeError):
        g723.read_capture(sample, srtp_keys=[b"127.0.0.1"])


def test_calls_equal_the_tools_stereo_files(capture, tool, tmp_path):
    printed = json.loads(tool("pcap", "--json", "--stereo", capture, tmp_path).stdout)
    calls = g723.read_calls(capture)
    assert len(calls) == 1
    call = calls[0]
    assert [s.ssrc for s in call.first] == [0x1111] and [s.ssrc for s in call.second] == [0x2222, 0x3333]
    outputs = {row["name"]: row["output"] for row in printed["streams"]}
    left = outputs[call.first[0].name]
    assert left.endswith(" (left)") and outputs[call.second[1].name] == left.replace("(left)", "(right)")
    assert call.samples.shape[1] == 2
    assert np.array_equal(call.samples, read_wav(left.removesuffix(" (left)")))
    # Each stream lies at its start time from the call's start.
    assert call.start == min(s.start for s in call.first + call.second)
    for column, direction in ((0, call.first), (1, call.second)):
        for stream in direction:
            at = round((stream.start - call.start) * 8000)
            assert at > 0 or stream is call.first[0]
            assert np.array_equal(call.samples[at:at + len(stream.samples), column], stream.samples)


def test_damaged_and_unreadable_captures_raise_as_the_tool_does(capture, tool, tmp_path):
    cut = tmp_path / "cut.pcap"
    data = capture.read_bytes()
    cut.write_bytes(data[:len(data) * 2 // 3 - 5])
    result = tool("pcap", "--json", cut, tmp_path / "out", check=False)
    assert result.returncode == 1
    with pytest.raises(g723.CaptureError) as raised:
        g723.read_capture(cut)
    assert "g723: " + str(raised.value) + "\n" == result.stderr.decode()
    assert "ends in a damaged record" in str(raised.value)
    streams, whole = raised.value.result, g723.read_capture(capture)
    assert 0 < len(streams) <= len(whole)
    assert sum(len(s.samples) for s in streams) < sum(len(s.samples) for s in whole)
    check_equal_to_tool(streams, json.loads(result.stdout))
    with pytest.raises(g723.CaptureError) as raised:
        g723.read_calls(cut)
    assert len(raised.value.result) == 1

    text = tmp_path / "notes.pcap"
    text.write_text("not a capture\n")
    with pytest.raises(g723.CaptureError, match="notes.pcap: unknown file format") as raised:
        g723.read_capture(text)
    assert raised.value.result is None
    with pytest.raises(FileNotFoundError):
        g723.read_capture(tmp_path / "missing.pcap")
    with pytest.raises(ValueError, match="0 to 127"):
        g723.read_capture(capture, payload_types=(128,))
