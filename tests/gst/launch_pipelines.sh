#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# The elements as a user meets them, through gst-inspect-1.0 and
# gst-launch-1.0: the plugin inspects cleanly, and encoding then decoding a
# WAV file (directly, and through the RTP payloader and depayloader) gives
# exactly the samples of `g723 roundtrip`, with and without silence
# compression. Usage: launch_pipelines.sh G723_TOOL SAMPLE WORK_DIR
set -euo pipefail
tool=$1 sample=$2 work=$3
rm -rf "$work" && mkdir -p "$work"
fail() { echo "FAILED: $*" >&2; exit 1; }

gst-inspect-1.0 g723 >"$work/inspect.out" 2>"$work/inspect.err" || fail "gst-inspect-1.0 g723"
[ ! -s "$work/inspect.err" ] || fail "gst-inspect-1.0 g723 complains: $(cat "$work/inspect.err")"
grep -q "g723enc: G.723.1 encoder" "$work/inspect.out" || fail "no g723enc"
grep -q "g723dec: G.723.1 decoder" "$work/inspect.out" || fail "no g723dec"
for element in g723enc g723dec; do
  [[ $(gst-inspect-1.0 "$element") =~ Rank\ +primary ]] || fail "$element is not rank primary"
done
# No other G.723.1 elements than ours and the RTP (de)payloader.
others=$(gst-inspect-1.0 2>/dev/null | grep -i 723 | grep -v -e rtpg723pay -e rtpg723depay -e "g723: *g723enc" -e "g723: *g723dec" || true)
[ -z "$others" ] || fail "other G.723.1 elements are installed: $others"

# The samples of a WAV file, without its header.
samples() { gst-launch-1.0 -q filesrc location="$1" ! wavparse ! filesink location="$2"; }

check() {
  local name=$1 tool_options=$2 encoder=$3 decoder=$4 middle=$5
  "$tool" roundtrip $tool_options "$sample" "$work/$name.tool.wav" >/dev/null
  gst-launch-1.0 -q filesrc location="$sample" ! wavparse ! g723enc $encoder ! $middle \
      g723dec $decoder ! wavenc ! filesink location="$work/$name.gst.wav"
  samples "$work/$name.tool.wav" "$work/$name.tool.raw"
  samples "$work/$name.gst.wav" "$work/$name.gst.raw"
  [ -s "$work/$name.tool.raw" ] || fail "$name: no samples"
  cmp "$work/$name.tool.raw" "$work/$name.gst.raw" || fail "$name: the samples differ from g723 roundtrip"
  echo "$name: $(stat -c %s "$work/$name.gst.raw") bytes of samples, as g723 roundtrip $tool_options"
}
check vad "" "" "" ""
check no-vad "--no-vad --no-postfilter" "vad=false" "postfilter=false" ""
check rtp "" "" "" "rtpg723pay ! rtpg723depay !"
