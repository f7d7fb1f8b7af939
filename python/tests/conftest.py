# SPDX-License-Identifier: BSD-2-Clause
"""Shared fixtures: the bundled speech sample and the g723 tool that the
package must agree with (G723_TOOL, else the project's build/tools/g723)."""

import os
import subprocess
import wave
from pathlib import Path

import numpy as np
import pytest

ROOT = Path(__file__).resolve().parents[2]
SAMPLE = ROOT / "samples" / "speech.wav"


@pytest.fixture(scope="session")
def speech() -> np.ndarray:
    with wave.open(str(SAMPLE)) as sample:
        assert (sample.getframerate(), sample.getnchannels(), sample.getsampwidth()) == (8000, 1, 2)
        return np.frombuffer(sample.readframes(sample.getnframes()), "<i2").astype(np.int16)


@pytest.fixture(scope="session")
def tool():
    """Runs the g723 tool and returns its standard output as bytes."""
    path = Path(os.environ.get("G723_TOOL", ROOT / "build" / "tools" / "g723"))
    if not path.is_file():
        pytest.fail(f"the g723 tool is not at {path}: build it, or set G723_TOOL")

    def run(*arguments, check=True):
        result = subprocess.run([str(path), *map(str, arguments)], capture_output=True, timeout=120)
        if check and result.returncode != 0:
            raise AssertionError(result.stderr.decode())
        return result

    return run


def write_wav(path: Path, samples: np.ndarray, rate: int) -> Path:
    with wave.open(str(path), "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(rate)
        out.writeframes(samples.astype("<i2").tobytes())
    return path
