# SPDX-License-Identifier: BSD-2-Clause
"""The package and the g723 tool share their loss pattern, resampler and
capture reading: for the same input they give the same bytes."""

import os
import subprocess
import wave

import numpy as np
import pytest

import g723
from g723 import _g723
from capture_writer import CaptureWriter, packetize, sip_with_sdp, split_frames
from conftest import ROOT, SAMPLE, write_wav


@pytest.mark.parametrize("probability,percent", [(0.07, "7"), (0.29, "29"), (0.123456, "12.3456")])
def test_loss_pattern_marks_the_frames_the_tools_percent_marks(speech, tool, tmp_path, probability, percent):
    # Percents whose probability is no exact product (0.07 * 100 is not 7):
    # the frames marked lost, and so every decoded sample, are the tool's.
    tool("roundtrip", "--no-vad", "--loss", percent, "--seed", "11", SAMPLE, tmp_path / "out.wav")
    with wave.open(str(tmp_path / "out.wav")) as out:
        expected = np.frombuffer(out.readframes(out.getnframes()), "<i2")
    expected = expected[g723.LOOKAHEAD:g723.LOOKAHEAD + len(speech)]
    degraded = g723.roundtrip(speech, 8000, loss=probability, seed=11, vad=False)
    assert np.array_equal(degraded, expected)
    assert not np.array_equal(degraded, g723.roundtrip(speech, 8000, seed=11, vad=False))


@pytest.mark.parametrize("rate", [11025, 44100, 48000])
def test_resampling_gives_the_tools_bytes(speech, tool, tmp_path, rate):
    times = np.arange(round(len(speech) * rate / 8000)) / rate
    audio = np.interp(times, np.arange(len(speech)) / 8000, speech.astype(np.float64)).astype(np.int16)
    path = write_wav(tmp_path / "in.wav", audio, rate)
    assert g723.encode(audio, rate) == tool("encode", path, "-").stdout


@pytest.fixture(scope="module")
def damaged_capture(speech, tmp_path_factory):
    """A call on type 97 that SIP/SDP announces, a static-type stream, and a
    last record cut short."""
    frames = split_frames(g723.encode(speech[:80000], 8000))
    out = CaptureWriter()
    out.udp(9.0, ("10.1.0.1", 5060), ("10.1.0.2", 5060),
            sip_with_sdp("INVITE sip:b@example.com SIP/2.0", "c", "10.1.0.1", 4000, 97))
    out.udp(9.5, ("10.1.0.2", 5060), ("10.1.0.1", 5060), sip_with_sdp("SIP/2.0 200 OK", "c", "10.1.0.2", 4002, 97))
    for packets, source, destination in (
            (packetize(frames, 97, 0xA, 10.0, per_packet=2)[3:], ("10.1.0.1", 4000), ("10.1.0.2", 4002)),
            (packetize(frames, 97, 0xB, 10.2), ("10.1.0.2", 4002), ("10.1.0.1", 4000)),
            (packetize(frames[40:], 4, 0xC, 11.0, per_packet=3)[::3], ("10.1.0.3", 6000), ("10.1.0.4", 6002))):
        for seconds, packet in packets:
            out.udp(seconds, source, destination, packet)
    path = tmp_path_factory.mktemp("capture") / "cut.pcap"
    path.write_bytes(out.data() + bytes(10))
    return path


def test_capture_report_and_damage_are_the_tools_bytes(damaged_capture, tool):
    tool_path = os.environ.get("G723_TOOL", ROOT / "build" / "tools" / "g723")
    printed = tool("pcap", "--json", damaged_capture, check=False)
    # Read once from standard input instead of twice from the file: the same.
    piped = subprocess.run([str(tool_path), "pcap", "--json", "-"], input=damaged_capture.read_bytes(),
                           capture_output=True, timeout=120)
    assert printed.returncode == piped.returncode == 1 and printed.stdout == piped.stdout
    for calls in (False, True):
        data = _g723.read_capture(str(damaged_capture), [], [], True, calls)
        assert data["report"].encode() == printed.stdout
        assert printed.stderr.decode() == f"g723: {damaged_capture}: {data['damage']}\n"
    assert len(data["calls"]) == 1 and b'"packets": ' in printed.stdout
