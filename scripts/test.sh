#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Every part switched on explicitly: the main job may have configured this
# build folder with the library and the tool only.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DG723_BUILD_TESTS=ON -DG723_BUILD_BENCH=ON -DG723_BUILD_GST=ON \
  -DG723_BUILD_WIRESHARK=ON
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
scripts/test-cross.sh
scripts/test-python.sh
scripts/test-packages.sh
scripts/test-web.sh
scripts/test-hardening.sh
scripts/test-release-scripts.sh
