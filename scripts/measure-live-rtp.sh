#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Sends samples/speech.wav over loopback in real time with `g723 send`, one
# to eight frames a packet, each to a `g723 receive` with its default
# options, and prints per packet size the packets sent, the late packets
# the receiver dropped, the frames it lost, and how its WAV compares with
# `g723 decode` of the same frames (identical samples, or the SNR of the
# difference). Takes about 80 seconds.
#
#   scripts/measure-live-rtp.sh [G723-TOOL]     (default build/tools/g723)
set -euo pipefail
cd "$(dirname "$0")/.."
tool=$(realpath "${1:-build/tools/g723}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$tool" encode samples/speech.wav "$work/speech.g723"
"$tool" decode "$work/speech.g723" "$work/clean.wav"
free_port() {
    python3 -c 'import socket; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
# The received samples against the clean decode's first as many.
compare() {
    python3 - "$1" "$2" << 'EOF'
import array, math, sys, wave
def samples(name):
    with wave.open(name) as f:
        return array.array("h", f.readframes(f.getnframes()))
received, clean = samples(sys.argv[1]), samples(sys.argv[2])
clean = clean[:len(received)]
if received == clean:
    print(f"identical ({len(received)} samples)")
else:
    signal = sum(x * x for x in clean)
    noise = sum((x - y) ** 2 for x, y in zip(received, clean))
    print(f"SNR {10 * math.log10(signal / noise):.2f} dB ({len(received)} samples)")
EOF
}

printf '%-7s %-8s %-6s %-12s %s\n' frames packets late "lost frames" "WAV against the clean decode"
for frames in 1 2 3 4 5 6 7 8; do
    port=$(free_port)
    "$tool" receive --json "udp://127.0.0.1:$port" "$work/received.wav" > "$work/report.json" &
    receiver=$!
    sleep 0.3
    "$tool" send --frames-per-packet "$frames" --bitstream "$work/speech.g723" \
        "udp://127.0.0.1:$port" > "$work/send.txt"
    kill -INT "$receiver"
    wait "$receiver"
    packets=$(awk '/^packets/ {print $2}' "$work/send.txt")
    late=$(grep -o '"late packets dropped": [0-9]*' "$work/report.json" | grep -o '[0-9]*$')
    lost=$(grep -o '"lost_frames": [0-9]*' "$work/report.json" | grep -o '[0-9]*$')
    printf '%-7s %-8s %-6s %-12s %s\n' "$frames" "$packets" "$late" "$lost" \
        "$(compare "$work/received.wav" "$work/clean.wav")"
done
