#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause
"""Checks that every date inside Debian packages is SOURCE_DATE_EPOCH.

    scripts/package_dates.py EPOCH PACKAGE.deb...

A package's dates are those of the members of its ar container
(debian-binary, control.tar.*, data.tar.*) and of every entry of its two
tar archives. Made from the same sources with the same SOURCE_DATE_EPOCH,
packages whose every date is that epoch do not depend on when they were
built. Prints each entry dated otherwise and exits with 1 if there is one
(scripts/test-packages.sh)."""
import io
import sys
import tarfile
import time


def members(data):
    """(name, mtime, bytes) of each member of an ar archive."""
    if data[:8] != b"!<arch>\n":
        raise ValueError("not an ar archive")
    at = 8
    while at + 60 <= len(data):
        header = data[at:at + 60]
        name = header[:16].decode("ascii").strip().rstrip("/")
        mtime = int(header[16:28])
        size = int(header[48:58])
        yield name, mtime, data[at + 60:at + 60 + size]
        at += 60 + size + (size & 1)


def misdated(path, epoch):
    """Each entry of the package dated other than `epoch`, with its date."""
    with open(path, "rb") as f:
        data = f.read()
    found = []
    for name, mtime, body in members(data):
        if mtime != epoch:
            found.append((name, mtime))
        if name.startswith(("control.tar", "data.tar")):
            with tarfile.open(fileobj=io.BytesIO(body), mode="r:*") as archive:
                found += [(f"{name}:{entry.name}", entry.mtime) for entry in archive.getmembers()
                          if int(entry.mtime) != epoch]
    return found


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__.split("\n\n")[1])
    epoch = int(sys.argv[1])
    faults = 0
    for path in sys.argv[2:]:
        for entry, mtime in misdated(path, epoch):
            when = time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(mtime))
            print(f"{path}: {entry} is dated {when}, not SOURCE_DATE_EPOCH")
            faults += 1
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
