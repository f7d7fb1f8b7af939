#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Builds the page into build/web: the library compiled to WebAssembly with
# emscripten (build/web-wasm), the page's own files, and wavesurfer.js from
# the npm registry at the versions of web/package-lock.json (installed into
# build/web-node, with the download cache in build/npm-cache). The result is
# a static folder that needs nothing from outside; scripts/serve-web.sh
# serves it.
set -euo pipefail
cd "$(dirname "$0")/.."
# Debian's emscripten runs its JavaScript parts with Debian's acorn.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

if [ ! -f build/web-wasm/CMakeCache.txt ]; then
  emcmake cmake -S . -B build/web-wasm -DCMAKE_BUILD_TYPE=Release -DG723_BUILD_RTP=OFF \
    -DG723_BUILD_TOOL=OFF -DG723_BUILD_TESTS=OFF -DG723_BUILD_BENCH=OFF -DG723_BUILD_GST=OFF \
    -Wno-dev >/dev/null
fi
cmake --build build/web-wasm -j"$(nproc)" --target g723_wasm

# npm ci again only when the lock file changed.
mkdir -p build/web-node
if ! cmp -s web/package-lock.json build/web-node/package-lock.json || [ ! -d build/web-node/node_modules ]; then
  cp web/package.json web/package-lock.json build/web-node/
  (cd build/web-node && npm ci --cache ../npm-cache --prefer-offline --no-audit --no-fund --loglevel=error)
fi

page=build/web
wavesurfer=build/web-node/node_modules/wavesurfer.js
rm -rf "$page"
mkdir -p "$page/src" "$page/vendor/plugins"
cp web/index.html web/page.css "$page/"
cp web/src/*.js build/web-wasm/web/g723.mjs build/web-wasm/web/g723.wasm "$page/src/"
cp "$wavesurfer/dist/wavesurfer.esm.js" "$wavesurfer/LICENSE" "$page/vendor/"
for plugin in spectrogram regions timeline; do
  cp "$wavesurfer/dist/plugins/$plugin.esm.js" "$page/vendor/plugins/"
done
echo "the page is in $page (scripts/serve-web.sh serves it)"
