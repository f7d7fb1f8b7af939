#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Compares the page's encoding speed with the native library's, in
# processor time: bench/page/encode_speed.cpp built natively against
# build/g723/libg723_static.a and with emscripten for Node.js against the
# page's build (build/web-wasm, WebAssembly SIMD), both encoding the same
# 60 s of speech. Needs scripts/build-web.sh and the native library built.
#   bench/page/encode-speed.sh [PASSES]
set -euo pipefail
cd "$(dirname "$0")/../.."
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
out=build/page-speed
mkdir -p "$out"
node -e "
  const fs = require('node:fs');
  const wav = require('./tests/web/page_inputs.cjs').longCall('samples/speech.wav', 60);
  fs.writeFileSync('$out/speech-60s.raw', wav.subarray(44));"
flags=(-std=c++20 -O3 -ffp-contract=off -I.)
g++ "${flags[@]}" bench/page/encode_speed.cpp build/g723/libg723_static.a -o "$out/encode_speed"
em++ "${flags[@]}" -msimd128 -msse2 -sENVIRONMENT=node -sNODERAWFS=1 -sALLOW_MEMORY_GROWTH=1 -sSINGLE_FILE=1 \
  bench/page/encode_speed.cpp build/web-wasm/g723/libg723_static.a -o "$out/encode_speed.js"
# (One file: this emscripten would load a separate .wasm with fetch, which
# Node.js does not offer for files.)
echo "native:      $("$out/encode_speed" "$out/speech-60s.raw" "${1:-9}")"
echo "WebAssembly: $(node "$out/encode_speed.js" "$out/speech-60s.raw" "${1:-9}")"
