#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# The main job: installs what is missing, builds the library and the tool
# (nothing else: no tests, plugins or benchmarks), and runs the
# g723 tool's round trip on the bundled speech sample. The decoded speech is
# written to build/speech.decoded.wav, outside the sources; the figures (bit
# rate, frame counts, SNR, segmental SNR, real-time factor) are printed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh core
cmake --preset core
cmake --build build -j"$(nproc)" --target g723_tool
echo
echo "\$ build/tools/g723 roundtrip samples/speech.wav build/speech.decoded.wav"
build/tools/g723 roundtrip samples/speech.wav build/speech.decoded.wav
