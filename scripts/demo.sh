#!/usr/bin/env bash
# Builds everything and runs the main job: a round trip of the bundled speech
# sample through the codec.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"
if [ ! -x build/tools/g723 ]; then
  echo "the g723 tool is not built yet: only the library and its tests exist" >&2
  exit 1
fi
build/tools/g723 roundtrip samples/speech.wav samples/speech.decoded.wav
