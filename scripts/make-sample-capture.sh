#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Makes samples/rtp-stream.pcap: samples/speech.wav sent by `g723 send` in
# real time, two frames per packet with silence compression, to
# `g723 receive` on 127.0.0.1, captured by tcpdump on the loopback
# interface. Needs the right to capture (root, or tcpdump's capabilities).
#   scripts/make-sample-capture.sh [G723-TOOL] [PORT]   (build/tools/g723, 5004)
set -euo pipefail
cd "$(dirname "$0")/.."
tool=$(realpath "${1:-build/tools/g723}")
port=${2:-5004}
tmp=$(mktemp -d)
chmod 755 "$tmp"
trap 'rm -rf "$tmp"' EXIT
tcpdump -i lo -U --immediate-mode -Z root -w "$tmp/call.pcap" udp port "$port" 2>"$tmp/tcpdump.err" &
dump=$!
for _ in $(seq 100); do grep -q "listening on" "$tmp/tcpdump.err" && break; sleep 0.1; done
"$tool" receive --timeout 2 "udp://127.0.0.1:$port" "$tmp/received.wav" >"$tmp/receive.txt" &
receiver=$!
sleep 0.5
"$tool" send --frames-per-packet 2 samples/speech.wav "udp://127.0.0.1:$port"
wait "$receiver"
kill -INT "$dump"
wait "$dump" || true
cp "$tmp/call.pcap" samples/rtp-stream.pcap
"$tool" pcap samples/rtp-stream.pcap
