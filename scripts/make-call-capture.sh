#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Makes samples/call.pcap, the capture the README's pcap examples read: a
# call over loopback made with the project's own tool and captured by
# tcpdump. A SIP INVITE and its 200 OK carry SDP that names payload type 96
# as G723/8000 at each side's port; then both directions of the call, each
# `g723 send` of samples/speech.wav to a `g723 receive` in real time: the
# first direction two frames a packet with 5% of its packets dropped, the
# second one frame a packet. Needs tcpdump and the right to capture on the
# loopback interface (root); takes about ten seconds.
#
#   scripts/make-call-capture.sh [OUTPUT]      (default samples/call.pcap)
#
# G723 names the tool (default build/tools/g723); PORT_A and PORT_B the
# ports the two sides receive on (default 40000 and 50000).
set -euo pipefail
cd "$(dirname "$0")/.."
g723=${G723:-build/tools/g723}
output=${1:-samples/call.pcap}
a=${PORT_A:-40000}
b=${PORT_B:-50000}
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# Sends a SIP message with an SDP body that receives G.723.1 as type 96 at
# port $3, in one datagram (nothing answers on the SIP port: it is sent all
# the same).
sip() {
    local start=$1 cseq=$2 port=$3 body message
    printf -v body 'v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=call\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio %s RTP/AVP 96\r\na=rtpmap:96 G723/8000\r\na=fmtp:96 annexa=yes\r\n' "$port"
    printf -v message '%s\r\nVia: SIP/2.0/UDP 127.0.0.1:5060\r\nFrom: <sip:a@127.0.0.1>;tag=1\r\nTo: <sip:b@127.0.0.1>\r\nCall-ID: sample-call@127.0.0.1\r\nCSeq: %s\r\nContent-Type: application/sdp\r\nContent-Length: %d\r\n\r\n%s' \
        "$start" "$cseq" "${#body}" "$body"
    # The printf program writes its buffer at once; the shell's would write
    # line by line, a datagram each.
    env printf '%s' "$message" > /dev/udp/127.0.0.1/5060 2> /dev/null || true
}

tcpdump -i lo -U -Z root -w "$work/call.pcap" \
    "udp and (port 5060 or dst port $a or dst port $b)" 2> "$work/tcpdump.err" &
pids+=($!)
for _ in $(seq 100); do grep -q "listening on" "$work/tcpdump.err" && break; sleep 0.1; done

"$g723" receive --pt 96 --timeout 3 "udp://127.0.0.1:$a" "$work/a.wav" > /dev/null &
pids+=($!)
"$g723" receive --pt 96 --timeout 3 "udp://127.0.0.1:$b" "$work/b.wav" > /dev/null &
pids+=($!)
sleep 0.5
sip "INVITE sip:b@127.0.0.1 SIP/2.0" "1 INVITE" "$a"
sleep 0.1
sip "SIP/2.0 200 OK" "1 INVITE" "$b"
"$g723" send --pt 96 --frames-per-packet 2 --loss 5 --seed 3 samples/speech.wav \
    "udp://127.0.0.1:$b" > /dev/null &
forward=$!
sleep 0.2
"$g723" send --pt 96 samples/speech.wav "udp://127.0.0.1:$a" > /dev/null
wait "$forward"
wait "${pids[1]}" "${pids[2]}"
sleep 0.5
kill -INT "${pids[0]}"
wait "${pids[0]}" || true
cp "$work/call.pcap" "$output"
"$g723" pcap "$output"
