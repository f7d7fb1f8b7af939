#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Makes a capture of many concurrent G.723.1 calls for measuring `g723 pcap`
# at scale: STREAMS streams (the two directions of STREAMS/2 calls), each
# SECONDS long, one 30 ms frame per packet, all coded from
# samples/speech.wav with silence compression (the sample looped, each
# stream from its own point in it). The default, 500 two-minute streams,
# gives about 1.9 million packets in 180 MB. With AT_ONCE, only AT_ONCE
# streams at a time, one batch after another: calls that follow one another.
#   scripts/make-trunk-capture.sh [STREAMS] [SECONDS] [OUTPUT] [AT_ONCE]
#   (500, 120, build/trunk.pcap, all of them)
set -euo pipefail
cd "$(dirname "$0")/.."
streams=${1:-500} seconds=${2:-120} output=${3:-build/trunk.pcap} at_once=${4:-$streams}
cmake --preset default >&2
cmake --build build -j"$(nproc)" --target g723_tool g723_trunk_capture >&2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
build/tools/g723 encode samples/speech.wav "$tmp/speech.g723"
build/bench/trunk/g723_trunk_capture "$tmp/speech.g723" "$streams" "$seconds" "$output" "$at_once"
