#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Builds the page and tests it in headless Chromium against the g723 tool
# (build/tools/g723, built first by scripts/test.sh): the tool writes the
# reference files into build/web-test, tests/web/page_test.cjs compares the
# page's results with them, holds the page to its bounds on a 30-minute
# lossy call and on random bytes, and leaves its screenshots there.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-web.sh
g723=build/tools/g723
work=build/web-test
rm -rf "$work"
mkdir -p "$work"
cp samples/speech.wav samples/rtp-stream.pcap samples/srtp-call.pcap "$work/"
# The long lossy call and the random bytes are made here, not kept.
node tests/web/page_inputs.cjs samples/speech.wav "$work"
"$g723" --version > "$work/version.txt"
(
  cd "$work"
  ../tools/g723 encode speech.wav speech.723
  ../tools/g723 encode --slots speech.wav speech.slots.723
  ../tools/g723 encode --no-vad speech.wav speech.no-vad.723
  ../tools/g723 decode speech.723 speech.raw
  ../tools/g723 decode --no-postfilter --loss 5 --seed 3 speech.723 speech.loss5.raw
  ../tools/g723 decode --loss 20 --seed 1099511627783 speech.723 speech.loss20.raw
  ../tools/g723 info speech.723 > speech.info.txt
  ../tools/g723 roundtrip speech.wav speech.roundtrip.wav > speech.roundtrip.txt
  for _ in $(seq 20); do cat speech.no-vad.723; done > speed.723
  head -c 1000 speech.723 > cut.723
  ! ../tools/g723 decode cut.723 cut.raw 2> cut.error.txt
  ../tools/g723 pcap rtp-stream.pcap > capture.report.txt
  ../tools/g723 pcap --json rtp-stream.pcap > capture.report.json
  ../tools/g723 pcap rtp-stream.pcap capture > /dev/null
  ../tools/g723 pcap srtp-call.pcap > srtp.report.txt
  ../tools/g723 pcap srtp-call.pcap srtp > /dev/null
  ../tools/g723 encode call-30min.wav call.723
  ../tools/g723 decode --loss 5 --seed 1 call.723 call.loss5.raw
)
NODE_PATH=build/web-node/node_modules timeout 300 node tests/web/page_test.cjs build/web "$work" "$g723"
