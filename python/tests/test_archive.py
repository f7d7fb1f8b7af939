# SPDX-License-Identifier: BSD-2-Clause
"""The archive helpers give on a Dask cluster of two worker processes
exactly what they give run serially."""

import filecmp
import subprocess
import sys
import wave
from pathlib import Path

import numpy as np
import pytest

import g723
import g723.archive
from capture_writer import CaptureWriter, packetize, split_frames
from conftest import write_wav

pd = pytest.importorskip("pandas")
distributed = pytest.importorskip("distributed")


@pytest.fixture(scope="module")
def folders(speech, tmp_path_factory):
    """Three captures (one cut short), a file that is no capture, and WAV
    files at three rates, one of them stereo."""
    root = tmp_path_factory.mktemp("archive")
    captures, audio = root / "captures", root / "audio"
    captures.mkdir()
    audio.mkdir()
    frames = split_frames(g723.encode(speech, 8000))
    for number in range(3):
        out = CaptureWriter()
        for stream in range(number + 1):
            packets = packetize(frames[40 * stream:], 4, 0x100 + stream, 10.0 + stream, per_packet=number + 1)
            for seconds, packet in packets[:: stream + 1]:  # loss in every stream after the first
                out.udp(seconds, ("192.0.2.1", 4000 + 2 * stream), ("192.0.2.2", 5000), packet)
        data = out.data()
        (captures / f"trunk{number}.pcap").write_bytes(data[:-30] if number == 2 else data)
    (captures / "notes.pcap").write_text("not a capture\n")
    write_wav(audio / "a.wav", speech, 8000)
    write_wav(audio / "b.wav", np.repeat(speech[:8000], 2), 16000)
    stereo = np.stack([speech[:11025], speech[5000:16025]], axis=1).reshape(-1)
    with wave.open(str(audio / "c.wav"), "wb") as out:
        out.setnchannels(2)
        out.setsampwidth(2)
        out.setframerate(11025)
        out.writeframes(stereo.astype("<i2").tobytes())
    return captures, audio, root


def test_dask_cluster_gives_the_serial_results(folders):
    captures, audio, root = folders
    paths = sorted(captures.iterdir())
    wavs = sorted(audio.glob("*.wav"))
    serial_table = g723.archive.capture_table(paths)
    serial_copies = g723.archive.degrade_folder(wavs, root / "serial", loss=0.1, seed=7)

    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  scheduler_port=0, dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        table = g723.archive.capture_table(paths, client)
        copies = g723.archive.degrade_folder(wavs, root / "cluster", client, loss=0.1, seed=7)
        assert len(client.scheduler_info()["workers"]) == 2

    pd.testing.assert_frame_equal(table, serial_table)
    # One row for the file that is no capture, then the 1, 2 and 3 streams
    # of the captures, the damaged one's with its message.
    assert list(table["ssrc"].fillna(-1).astype(int)) == [-1, 0x100, 0x100, 0x101, 0x100, 0x101, 0x102]
    assert table["error"].notna().tolist() == [True] + [False] * 3 + [True] * 3
    assert table["error"].iloc[0].endswith("notes.pcap: unknown file format")
    assert "ends in a damaged record" in table["error"].iloc[-1]
    assert table["lost_packets"].iloc[3] > 0 and table["lost_packets"].iloc[1] == 0
    whole = g723.read_capture(captures / "trunk1.pcap")
    assert table.loc[3, "frames"] == whole[1].report["frames"] and table.loc[3, "stream"] == 2

    pd.testing.assert_frame_equal(copies.drop(columns="output"), serial_copies.drop(columns="output"))
    for cluster_copy, serial_copy, source in zip(copies["output"], serial_copies["output"], wavs):
        assert filecmp.cmp(cluster_copy, serial_copy, shallow=False)
        assert not filecmp.cmp(cluster_copy, source, shallow=False)
    assert copies["channels"].tolist() == [1, 1, 2] and len(set(copies["seed"])) == 3


def test_bad_arguments_are_refused_before_any_work(folders, tmp_path):
    """A loss given as a percent, or a file that is not there, is refused
    before a folder is made or a task sent; the example's --loss is the
    tool's percent."""
    _, audio, _ = folders
    target = tmp_path / "degraded"
    with pytest.raises(ValueError, match="probability"):
        g723.archive.degrade_folder([audio / "a.wav"], target, loss=5)
    with pytest.raises(FileNotFoundError):
        g723.archive.degrade_folder([audio / "missing.wav"], target, loss=0.05)
    assert not target.exists()
    example = Path(__file__).resolve().parents[1] / "examples" / "archive.py"
    refused = subprocess.run([sys.executable, str(example), "degrade", str(audio), str(target), "--loss", "150"],
                             capture_output=True, text=True)
    assert refused.returncode == 2 and "percent" in refused.stderr
    assert not target.exists()


def test_dir_lists_the_packages_own_names():
    names = set(dir(g723))
    assert {"Encoder", "Decoder", "roundtrip", "read_capture"} <= names
    assert not names & {"np", "os", "json", "secrets", "enum", "operator", "warnings"}
