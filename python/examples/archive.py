#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause
"""Processes a folder of captures or audio files on a Dask cluster.

    python3 archive.py captures FOLDER [--csv TABLE]      one row per RTP stream
    python3 archive.py degrade FOLDER OUTFOLDER [--loss PERCENT] degraded copies of WAV files

Runs on a LocalCluster of --workers processes, or on an existing cluster
with --scheduler tcp://HOST:8786 (its workers must see the same paths).
"""

import argparse
import sys
from pathlib import Path

from distributed import Client, LocalCluster

from g723.archive import capture_table, degrade_folder


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--scheduler", help="address of a running scheduler (default: a LocalCluster)")
    parser.add_argument("--workers", type=int, default=2, help="worker processes of the LocalCluster")
    commands = parser.add_subparsers(dest="command", required=True)
    captures = commands.add_parser("captures", help="a table of every stream of every capture")
    captures.add_argument("folder", type=Path)
    captures.add_argument("--csv", type=Path, help="write the table here instead of printing a summary")
    degrade = commands.add_parser("degrade", help="degraded copies of 16-bit WAV files")
    degrade.add_argument("folder", type=Path)
    degrade.add_argument("output", type=Path)
    degrade.add_argument("--loss", type=float, default=0.0, metavar="PERCENT",
                         help="share of frames lost, in percent as the g723 tool takes it (0 to 100)")
    degrade.add_argument("--seed", type=int, default=0)
    arguments = parser.parse_args()
    # Checked before a cluster starts or a folder is made.
    if not arguments.folder.is_dir():
        parser.error(f"{arguments.folder}: not a folder")
    if arguments.command == "degrade":
        if not 0.0 <= arguments.loss <= 100.0:
            parser.error(f"--loss is a percent from 0 to 100, not {arguments.loss}")
        if not 0 <= arguments.seed < 2**64:
            parser.error(f"--seed must be from 0 to 2**64 - 1, not {arguments.seed}")

    if arguments.scheduler:
        client = Client(arguments.scheduler)
    else:
        client = Client(LocalCluster(n_workers=arguments.workers, threads_per_worker=1, processes=True,
                                     dashboard_address=":0"))
    with client:
        if arguments.command == "captures":
            paths = sorted(p for p in arguments.folder.iterdir() if p.suffix in (".pcap", ".pcapng"))
            table = capture_table(paths, client)
            if arguments.csv:
                table.to_csv(arguments.csv, index=False)
            else:
                columns = ["capture", "name", "packets", "lost_frames", "jitter_ms", "duration_seconds"]
                print(table[columns].to_string(index=False))
        else:
            table = degrade_folder(sorted(arguments.folder.glob("*.wav")), arguments.output, client,
                                   loss=arguments.loss / 100, seed=arguments.seed)
            print(table.to_string(index=False))
    return 0


if __name__ == "__main__":
    sys.exit(main())
