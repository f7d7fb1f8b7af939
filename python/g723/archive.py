# SPDX-License-Identifier: BSD-2-Clause
"""Archives of captures and audio files on a Dask cluster.

Each file is one task of a :class:`distributed.Client`: a ``LocalCluster``
on one machine, or a cluster anywhere through its scheduler's address, as
long as every worker sees the files at the same paths and has the ``g723``
package installed. Without a client the same work runs here, one file after
the other, and gives the same results::

    from distributed import Client
    from g723.archive import capture_table, degrade_folder

    client = Client("tcp://scheduler:8786")       # or Client(LocalCluster())
    table = capture_table(sorted(Path("archive").glob("*.pcap")), client)
    degrade_folder(sorted(Path("clean").glob("*.wav")), "degraded", client, loss=0.05)

Needs pandas for the tables, and Dask's ``distributed`` for a client.
"""

from __future__ import annotations

import hashlib
import os
import wave
from pathlib import Path

import numpy as np

import g723

__all__ = ["capture_rows", "capture_table", "degrade_file", "degrade_folder"]

# The columns of a capture table before the report's own.
_CAPTURE_COLUMNS = ["capture", "error", "source", "destination", "ssrc", "start", "frames_lost_share"]


def capture_rows(path, payload_types=(), postfilter: bool = True) -> list:
    """One dict per stream of the capture at `path`: the report's fields
    (those of ``g723 pcap --json``) with the capture's path, the stream's
    addresses, SSRC, start time and the share of its frames lost. A capture
    that ends damaged gives the streams read before the damage, each with the
    tool's message in ``error``; one that cannot be read gives a single row
    holding only the path and the message. No audio leaves the worker."""
    name = os.fspath(path)
    error = None
    try:
        streams = g723.read_capture(name, payload_types, postfilter)
    except g723.CaptureError as raised:
        error, streams = str(raised), raised.result or []
    except OSError as raised:
        error, streams = f"{name}: {raised.strerror or raised}", []
    if not streams:
        return [{"capture": name, "error": error}] if error else []
    rows = []
    for stream in streams:
        kinds = stream.frame_kinds
        lost = float(np.count_nonzero(kinds == g723.FrameKind.LOST)) / len(kinds) if len(kinds) else 0.0
        rows.append({"capture": name, "error": error, "source": f"{stream.source[0]}:{stream.source[1]}",
                     "destination": f"{stream.destination[0]}:{stream.destination[1]}",
                     "ssrc": stream.ssrc, "start": stream.start, "frames_lost_share": lost, **stream.report})
    return rows


def _map(function, items, client, **arguments) -> list:
    """`function` over `items`, one task each on `client` (here, in order,
    without one), results in the order of `items`."""
    if client is None:
        return [function(item, **arguments) for item in items]
    futures = client.map(function, items, pure=False, **arguments)
    return client.gather(futures)


def capture_table(paths, client=None, payload_types=(), postfilter: bool = True):
    """A pandas DataFrame of every stream of every capture in `paths` (see
    :func:`capture_rows`), in the order of `paths`, then of each report."""
    import pandas as pd

    paths = [os.fspath(path) for path in paths]
    rows = [row for rows in _map(capture_rows, paths, client, payload_types=tuple(payload_types),
                                  postfilter=postfilter) for row in rows]
    return pd.DataFrame(rows, columns=list(dict.fromkeys(_CAPTURE_COLUMNS + [k for r in rows for k in r])))


def _file_seed(seed: int, name: str) -> int:
    """A seed for one file: the same for the same file name and `seed`,
    whichever worker codes it and in whatever order."""
    digest = hashlib.sha256(f"{seed}:{name}".encode()).digest()
    return int.from_bytes(digest[:8], "little")


def degrade_file(source, destination_folder, loss: float = 0.0, seed: int = 0, **settings) -> dict:
    """Writes a degraded copy of the 16-bit PCM WAV file `source` (any rate,
    channels coded one by one) into `destination_folder` under the same
    name, through :func:`g723.roundtrip` with `loss` and the codec
    `settings`; the frames lost are chosen from `seed` and the file's name.
    Returns the file's row: names, rate, channels, samples and seed."""
    source = Path(source)
    with wave.open(str(source)) as audio:
        if audio.getsampwidth() != 2:
            raise ValueError(f"{source}: only 16-bit PCM WAV files are taken, not {8 * audio.getsampwidth()}-bit")
        rate, channels = audio.getframerate(), audio.getnchannels()
        pcm = np.frombuffer(audio.readframes(audio.getnframes()), "<i2").astype(np.int16).reshape(-1, channels)
    file_seed = _file_seed(seed, source.name)
    degraded = np.stack([g723.roundtrip(np.ascontiguousarray(pcm[:, c]), rate, loss, (file_seed + c) % 2**64,
                                        **settings)
                         for c in range(channels)], axis=1) if len(pcm) else pcm
    target = Path(destination_folder) / source.name
    with wave.open(str(target), "wb") as out:
        out.setnchannels(channels)
        out.setsampwidth(2)
        out.setframerate(rate)
        out.writeframes(degraded.astype("<i2").tobytes())
    return {"source": str(source), "output": str(target), "rate": rate, "channels": channels,
            "samples": len(pcm), "seed": file_seed}


def degrade_folder(sources, destination_folder, client=None, loss: float = 0.0, seed: int = 0, **settings):
    """Degraded copies of every WAV file in `sources` in `destination_folder`
    (created if missing), one task per file (see :func:`degrade_file`).
    Returns a pandas DataFrame of one row per file, in the order of
    `sources`. The same `seed` gives the same files on any cluster."""
    import pandas as pd

    # Arguments are checked here, before any folder is made or any task
    # sent, rather than inside the workers.
    loss = float(loss)
    if not 0.0 <= loss <= 1.0:
        raise ValueError(f"loss must be a probability between 0 and 1 (5 % is 0.05), not {loss}")
    if not 0 <= int(seed) < 2**64:
        raise ValueError(f"seed must be between 0 and 2**64 - 1, not {seed}")
    sources = [os.fspath(source) for source in sources]
    for source in sources:
        if not os.path.isfile(source):
            raise FileNotFoundError(f"{source}: no such file")
    os.makedirs(destination_folder, exist_ok=True)
    rows = _map(degrade_file, sources, client, destination_folder=os.fspath(destination_folder),
                loss=loss, seed=seed, **settings)
    return pd.DataFrame(rows, columns=["source", "output", "rate", "channels", "samples", "seed"])
