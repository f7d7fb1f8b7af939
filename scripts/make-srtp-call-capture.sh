#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Makes samples/srtp-call.pcap, the capture docs/encrypted-calls.md reads: an
# SRTP call between two Debian baresip processes through the project's
# baresip module (mediaenc=srtp-mand: RTP/SAVP, SDES keys in the SDP's
# a=crypto lines), captured by tcpdump on a private loopback. It is the
# SRTP call of the baresip SRTP test, which also checks it (g723 pcap
# decodes it to what baresip decoded, and to the same call in the clear).
# Needs baresip-core, tcpdump, the built tool and module, and the right to
# make a network namespace (root); takes about fifteen seconds.
#
#   scripts/make-srtp-call-capture.sh [OUTPUT]   (default samples/srtp-call.pcap)
#
# G723 names the tool (default build/tools/g723), MODULE the module (default
# build/baresip-modules/g723.so).
set -euo pipefail
cd "$(dirname "$0")/.."
output=$(realpath -m "${1:-samples/srtp-call.pcap}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 tests/baresip/baresip_srtp_call_test.py --tool "${G723:-build/tools/g723}" \
    --module "${MODULE:-build/baresip-modules/g723.so}" --sample samples/speech.wav \
    --work "$work/call" --keep "$output"
echo "wrote $output"
