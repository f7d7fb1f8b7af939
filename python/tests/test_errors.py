# SPDX-License-Identifier: BSD-2-Clause
"""Bad input raises clear exceptions, with the tool's wording where it has one."""

import numpy as np
import pytest

import g723
from conftest import SAMPLE


def test_bad_samples_and_settings_raise(speech):
    encoder = g723.Encoder()
    with pytest.raises(TypeError, match="int16"):
        encoder.encode(speech.astype(np.float32))
    with pytest.raises(ValueError, match="1-D"):
        encoder.encode(speech.reshape(-1, 1))
    with pytest.raises(ValueError, match="16-bit range"):
        encoder.encode(np.array([0, 40000], np.int32))
    assert encoder.encode(np.array([1, 2, 3], np.int64)) == b"" and encoder.pending == 3

    audio = speech.astype(np.float64) / 32768
    with pytest.raises(TypeError, match="not int64"):
        g723.roundtrip(speech.astype(np.int64), 8000)
    with pytest.raises(ValueError, match="one channel"):
        g723.roundtrip(np.stack([audio, audio], axis=1), 8000)
    with pytest.raises(ValueError, match="non-finite"):
        g723.roundtrip(np.r_[audio, np.nan], 16000)
    for rate, error in ((0, ValueError), (10**7, ValueError), (16000.5, TypeError), ("8000", TypeError)):
        with pytest.raises(error, match="rate"):
            g723.encode(audio, rate)
    with pytest.raises(ValueError, match="loss"):
        g723.roundtrip(audio, 8000, loss=1.5)
    with pytest.raises(ValueError, match="seed"):
        g723.roundtrip(audio, 8000, seed=-1)
    empty = g723.roundtrip(np.zeros(0, np.float32), 44100)
    assert empty.dtype == np.float32 and empty.size == 0 and g723.encode(empty, 44100) == b""


def test_bad_streams_raise_with_the_tools_message(speech, tool, tmp_path):
    coded = g723.encode(speech, 8000)
    (tmp_path / "cut.g723").write_bytes(coded[:1000])
    message = tool("decode", tmp_path / "cut.g723", tmp_path / "cut.wav", check=False).stderr.decode()
    message = message.strip().split(": ", 2)[2]
    assert message.startswith("ends inside a frame: ")

    with pytest.raises(g723.TruncatedStreamError) as caught:
        g723.decode(coded[:1000])
    assert str(caught.value) == message
    assert np.array_equal(caught.value.result, g723.decode(coded)[:len(caught.value.result)])
    with pytest.raises(g723.TruncatedStreamError, match="^ends inside a frame") as caught:
        g723.info(coded[:1000])
    assert caught.value.result["not_clean"][-1][1] == "truncated: 23 of 24 bytes present"

    decoder = g723.Decoder()
    decoder.decode(coded[:500])
    decoder.decode(coded[500:1000])
    with pytest.raises(ValueError, match="partial frame"):
        decoder.conceal(1)
    with pytest.raises(g723.TruncatedStreamError) as caught:
        decoder.flush()
    assert str(caught.value) == message and decoder.pending == 0
    decoder.flush()  # a new, empty stream ends cleanly

    with pytest.raises(ValueError, match="lost has 2 flags but data completes 3 frames"):
        decoder.decode(coded[:72], lost=[True, False])
    with pytest.raises(TypeError, match="bytes-like"):
        decoder.decode("text")
    with pytest.raises(TypeError, match="bytes"):
        decoder.decode(speech)
    with pytest.raises(ValueError, match="^is an audio file, not a G.723.1 bit-stream$"):
        g723.decode(SAMPLE.read_bytes())
