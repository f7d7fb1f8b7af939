#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# The main job: installs what is missing, builds the library and the tool
# (nothing else: no tests, plugins or benchmarks), and runs the
# g723 tool's round trip on the bundled speech sample. The decoded speech is
# left beside the sample as samples/speech.decoded.wav; the figures (bit rate,
# frame counts, SNR, segmental SNR, real-time factor) are printed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh core
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DG723_BUILD_TESTS=OFF -DG723_BUILD_BENCH=OFF \
  -DG723_BUILD_GST=OFF -DG723_BUILD_WIRESHARK=OFF
cmake --build build -j"$(nproc)" --target g723_tool
echo
echo "\$ build/tools/g723 roundtrip samples/speech.wav samples/speech.decoded.wav"
build/tools/g723 roundtrip samples/speech.wav samples/speech.decoded.wav
