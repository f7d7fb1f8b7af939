#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# The release scripts at their smallest size, so that they keep working
# (run by scripts/test.sh after the hardening stage, whose fuzz build and
# the main build it reuses):
#  1. scripts/mutate.py on the main build: a mutant of the RTP parser that
#     its tests must catch, and one of the SDP parser that compiles to the
#     same machine code and so is equivalent (the break before a default
#     that only breaks);
#  2. scripts/fuzz-campaign.sh: ten processor seconds of one target, in a
#     scratch campaign folder;
#  3. scripts/coverage.sh: the codec library and one test.
set -euo pipefail
cd "$(dirname "$0")/.."
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
started=$SECONDS

echo "== release scripts: mutation"
scripts/mutate.py --build build --work "$scratch/mutate" --tests '^(rtp_packet|session_description)\.' \
  --mutant 'rtp/packet/rtp_packet.cpp~if ((bytes[0] >> 6) != 2) return rtp_parse_result::not_version_2;~if ((bytes[0] >> 6) == 2) return rtp_parse_result::not_version_2;' \
  --mutant 'rtp/sdp/session_description.cpp~break;~;~3' \
  --expect caught --expect equivalent | tail -n 8
git diff --quiet -- rtp/sdp/session_description.cpp || { echo "mutate.py left the checkout changed" >&2; exit 1; }
git diff --quiet -- rtp/packet/rtp_packet.cpp || { echo "mutate.py left the checkout changed" >&2; exit 1; }

echo "== release scripts: fuzz campaign"
scripts/fuzz-campaign.sh -m 0.17 -j 1 -n -d "$scratch/campaign" rtp_packet_fuzz
[[ -n $(ls "$scratch/campaign/corpus/rtp_packet_fuzz") ]] || { echo "the campaign kept no corpus" >&2; exit 1; }

echo "== release scripts: coverage"
COVERAGE_BUILD=$PWD/build/coverage-smoke COVERAGE_REPORT=$scratch/coverage COVERAGE_TARGETS=g723_c_header_check \
  COVERAGE_OPTIONS="-DG723_BUILD_RTP=OFF -DG723_BUILD_TOOL=OFF -DG723_BUILD_GST=OFF -DG723_BUILD_WIRESHARK=OFF" \
  scripts/coverage.sh -R '^c_header_check$'
grep -q '^g723/ (codec library)' "$scratch/coverage/summary.txt"
[[ -s $scratch/coverage/index.html ]]
echo "== release scripts: took $((SECONDS - started)) s"
