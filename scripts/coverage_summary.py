#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause
"""Line and branch coverage per folder, from gcovr's JSON report.

    scripts/coverage_summary.py build/coverage-report/coverage.json [--uncovered FOLDER...]

Prints one row per folder (the codec library, the calls library, the
codec-side host helpers, the tool, the plugins, the Python binding's C++) and,
with --uncovered, every line with a branch not taken in the folders named,
with its source line.
"""

import argparse
import json
import sys
from pathlib import Path

FOLDERS = [("g723/", "g723/ (codec library)"), ("rtp/", "rtp/ (calls library)"),
           ("media/", "media/ (codec-side host helpers)"), ("tools/", "tools/ (g723 tool)"),
           ("gst/", "gst/ (GStreamer plugin)"), ("wireshark/", "wireshark/ (Wireshark plugin)"),
           ("baresip/", "baresip/ (baresip module)"), ("python/", "python/ (binding's C++)")]


def tally(entry):
    lines = covered = branches = taken = 0
    for line in entry["lines"]:
        if line.get("gcovr/noncode"):
            continue
        lines += 1
        covered += line["count"] > 0
        for branch in line.get("branches", []):
            branches += 1
            taken += branch["count"] > 0
    return lines, covered, branches, taken


def percent(part, whole):
    return f"{100.0 * part / whole:5.1f}%" if whole else "    -"


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("report")
    parser.add_argument("--uncovered", nargs="*", default=None)
    args = parser.parse_args()
    data = json.loads(Path(args.report).read_text())
    totals = {prefix: [0, 0, 0, 0] for prefix, _ in FOLDERS}
    for entry in data["files"]:
        for prefix, _ in FOLDERS:
            if entry["file"].startswith(prefix):
                for k, value in enumerate(tally(entry)):
                    totals[prefix][k] += value
    print(f"{'folder':34} {'lines':>15} {'':>6}  {'branches':>15} {'':>6}")
    for prefix, title in FOLDERS:
        lines, covered, branches, taken = totals[prefix]
        if not lines:
            continue
        print(f"{title:34} {covered:>7}/{lines:<7} {percent(covered, lines)}  "
              f"{taken:>7}/{branches:<7} {percent(taken, branches)}")
    if args.uncovered is not None:
        for entry in sorted(data["files"], key=lambda e: e["file"]):
            if not any(entry["file"].startswith(p) for p in args.uncovered or ["g723/", "rtp/"]):
                continue
            source = Path(entry["file"])
            text = source.read_text().splitlines() if source.exists() else []
            for line in entry["lines"]:
                missed = [b for b in line.get("branches", []) if b["count"] == 0]
                if line.get("gcovr/noncode") or (line["count"] > 0 and not missed):
                    continue
                what = "line not run" if line["count"] == 0 else f"{len(missed)} of {len(line['branches'])} branches not taken"
                number = line["line_number"]
                code = text[number - 1].strip() if number - 1 < len(text) else ""
                print(f"{entry['file']}:{number}: {what}: {code}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
