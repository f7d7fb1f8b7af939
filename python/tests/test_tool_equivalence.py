# SPDX-License-Identifier: BSD-2-Clause
"""The package gives exactly the g723 tool's bytes and samples."""

import wave
from importlib.metadata import version as installed_version

import numpy as np
import pytest

import g723
from conftest import SAMPLE, write_wav

ENCODER_SETTINGS = [
    ({}, []),
    ({"vad": False, "highpass": False}, ["--no-vad", "--no-highpass"]),
    ({"multiple_sid": True}, ["--multiple-sid"]),
]


@pytest.mark.parametrize("settings,options", ENCODER_SETTINGS)
def test_encoder_and_decoder_match_the_tool(speech, tool, tmp_path, settings, options):
    coded = tool("encode", *options, SAMPLE, "-").stdout
    encoder = g723.Encoder(**settings)
    assert encoder.encode(speech) + encoder.flush() == coded
    assert g723.encode(speech, 8000, **settings) == coded
    assert sum(encoder.frames.values()) == (len(speech) + 60 + 239) // 240

    (tmp_path / "s.g723").write_bytes(coded)
    for postfilter, flag in ((True, []), (False, ["--no-postfilter"])):
        expected = np.frombuffer(tool("decode", "--raw", *flag, tmp_path / "s.g723", "-").stdout, "<i2")
        assert np.array_equal(g723.Decoder(postfilter).decode(coded), expected)
        assert np.array_equal(g723.decode(coded, postfilter=postfilter), expected)


def test_info_and_damaged_frames_match_the_tool(speech, tool, tmp_path):
    coded = g723.encode(speech, 8000, vad=False)
    # A 5.3 kbit/s frame slipped in after frame 5, frame 9 filled with ones.
    frames = [coded[i:i + 24] for i in range(0, len(coded), 24)]
    frames[9] = b"\xfc" + b"\xff" * 23
    damaged = b"".join(frames[:5]) + b"\x01" + bytes(19) + b"".join(frames[5:])
    (tmp_path / "d.g723").write_bytes(damaged)
    listed = tool("info", tmp_path / "d.g723").stdout.decode()
    description = g723.info(damaged)
    kinds = description["kinds"]
    assert f"{kinds['speech']} speech, {kinds['sid']} SID, {kinds['untransmitted']} untransmitted" in listed
    assert f"({description['frames']} frames of 30 ms)" in listed
    assert f"{description['bit_rate']:.0f} bit/s" in listed and f"{description['bytes']} bytes" in listed
    tool_lines = [line for line in listed.splitlines() if line.startswith("  byte ")]
    assert [f"  byte {offset:<10} {reason}" for offset, reason in description["not_clean"]] == tool_lines
    assert len(tool_lines) == 2

    expected = tool("decode", "--raw", tmp_path / "d.g723", "-")
    with pytest.warns(UserWarning) as caught:
        assert np.array_equal(g723.decode(damaged), np.frombuffer(expected.stdout, "<i2"))
    assert expected.stderr.decode().endswith(f": {caught[0].message}\n")


def test_resampled_input_matches_the_tool(speech, tool, tmp_path):
    audio = np.repeat(speech, 2)  # 16 kHz
    path = write_wav(tmp_path / "s16.wav", audio, 16000)
    assert g723.encode(audio, 16000) == tool("encode", path, "-").stdout
    assert g723.encode(audio.astype(np.float32) / 32768, 16000) == tool("encode", path, "-").stdout


@pytest.mark.parametrize("options,kwargs", [
    ([], {}),
    (["--no-vad", "--no-postfilter", "--loss", "5", "--seed", "3"],
     {"vad": False, "postfilter": False, "loss": 0.05, "seed": 3}),
])
def test_roundtrip_core_at_8khz_is_the_tools_round_trip(speech, tool, tmp_path, options, kwargs):
    tool("roundtrip", *options, SAMPLE, tmp_path / "out.wav")
    with wave.open(str(tmp_path / "out.wav")) as out:
        decoded = np.frombuffer(out.readframes(out.getnframes()), "<i2")
    expected = decoded[g723.LOOKAHEAD:g723.LOOKAHEAD + len(speech)]
    assert np.array_equal(g723.roundtrip(speech, 8000, **kwargs), expected)
    as_float = g723.roundtrip(speech.astype(np.float32) / 32768, 8000, **kwargs)
    assert as_float.dtype == np.float32 and np.array_equal(as_float * 32768, expected)


def lag_of_peak(reference: np.ndarray, degraded: np.ndarray, span: int) -> int:
    """The lag (in samples, degraded behind reference) of the cross-correlation peak."""
    size = len(reference) + len(degraded)
    correlation = np.fft.irfft(np.fft.rfft(degraded, size) * np.conj(np.fft.rfft(reference, size)), size)
    lags = np.r_[np.arange(0, span + 1), np.arange(-span, 0)]
    return int(lags[np.argmax(correlation[lags])])


@pytest.mark.parametrize("rate", [16000, 44100])
@pytest.mark.parametrize("dtype", [np.float32, np.int16])
def test_roundtrip_keeps_length_type_and_alignment(speech, rate, dtype):
    times = np.arange(round(len(speech) * rate / 8000)) / rate
    audio = np.interp(times, np.arange(len(speech)) / 8000, speech.astype(np.float64))
    audio = audio.astype(np.int16) if dtype == np.int16 else (audio / 32768).astype(dtype)
    degraded = g723.roundtrip(audio, rate, vad=False)
    assert degraded.dtype == dtype and degraded.shape == audio.shape
    reference, result = audio.astype(np.float64), degraded.astype(np.float64)
    assert lag_of_peak(reference, result, rate // 100) == 0
    # The measure sees a shift: the look-ahead left in would show as its lag.
    shift = 60 * rate // 8000
    assert lag_of_peak(reference, np.r_[np.zeros(shift), result[:-shift]], rate // 100) == shift


@pytest.mark.parametrize("length", [1, 180, 181, 240, 420, 421, 480])
def test_flush_pads_as_the_tool(speech, tool, tmp_path, length):
    # One frame more once the look-ahead no longer reaches the last sample.
    pcm = speech[20000:20000 + length]
    (tmp_path / "in.raw").write_bytes(pcm.astype("<i2").tobytes())
    expected = tool("encode", "--no-vad", tmp_path / "in.raw", "-").stdout
    encoder = g723.Encoder(vad=False)
    coded = encoder.encode(pcm[:length // 2]) + encoder.encode(pcm[length // 2:]) + encoder.flush()
    assert coded == expected and len(coded) == 24 * ((length + 60 + 239) // 240)
    assert g723.encode(pcm, 8000, vad=False) == expected


def test_versions_are_the_tools(tool):
    """The package, its installed metadata and the tool carry one release and
    one library version string."""
    assert tool("--version").stdout.decode() == f"g723 {g723.__version__} (library {g723.library_version})\n"
    assert installed_version("g723") == g723.__version__
