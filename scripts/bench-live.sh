#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Live playout side by side: for each network profile of 'g723 relay', the
# same seeded traffic from 'g723 send' through the relay into 'g723 receive'
# and into GStreamer's rtpjitterbuffer (default latency) ! rtpg723depay !
# g723dec (bench/live/gst_playout). Prints a Markdown table: frames lost on
# the path, late and concealed at the receiver, mean and 95th-percentile
# playout delay (from when the sender's clock says a packet's audio ended
# to when it played), and SNR of the received audio against the decode of
# every frame sent. Senders, relays and receivers run under 'chrt -f' when
# allowed; the profiles run at once, each pair on its own ports.
# usage: scripts/bench-live.sh [BUILD_DIR] [SECONDS]   (default build, 30)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-30}
tool=$build/tools/g723
player=$build/bench/live/gst_playout
for needed in "$tool" "$player" "$build/gst-plugins/libgstg723.so"; do
  [[ -e $needed ]] || { echo "bench-live: $needed is missing; build the tool, the plugin and bench/live" >&2; exit 1; }
done
export GST_PLUGIN_PATH=$PWD/$build/gst-plugins
work=$(mktemp -d)
# BENCH_LIVE_KEEP=1 keeps the files for a look.
[[ -n ${BENCH_LIVE_KEEP:-} ]] && echo "bench-live: files in $work" >&2 || trap 'rm -rf "$work"' EXIT
realtime=(chrt -f 10)
"${realtime[@]}" true 2>/dev/null || realtime=()

# The input: the sample said again and again, coded once with silence
# compression; its full decode is what every receiver is measured against.
python3 - samples/speech.wav "$work/input.wav" "$seconds" <<'PY'
import sys, wave
with wave.open(sys.argv[1]) as w:
    params, frames = w.getparams(), w.readframes(w.getnframes())
need = int(float(sys.argv[3]) * params.framerate) * params.sampwidth
data = frames * (need // len(frames) + 1)
with wave.open(sys.argv[2], "wb") as w:
    w.setparams(params)
    w.writeframes(data[:need])
PY
"$tool" encode "$work/input.wav" "$work/sent.bit" >/dev/null
"$tool" decode "$work/sent.bit" "$work/reference.wav" >/dev/null

profiles=(clean wifi mobile congested)
port=$((20000 + RANDOM % 20000 / 10 * 10))
run_pair() {  # profile index
  local profile=${profiles[$1]} base=$((port + 100 * $1))
  local out=$work/$profile
  mkdir -p "$out"
  # g723 receive on base, relay on base+10; GStreamer on base+20, relay on base+30.
  "${realtime[@]}" "$tool" receive --json udp://127.0.0.1:$base "$out/receive.wav" >"$out/receive.json" 2>"$out/receive.err" &
  local receiver=$!
  "${realtime[@]}" "$player" $((base + 20)) "$out/gstreamer.wav" >"$out/gstreamer.json" 2>"$out/gstreamer.err" &
  local player_pid=$!
  for side in receive gstreamer; do
    local listen=$((base + 10)) to=$base
    [[ $side == gstreamer ]] && listen=$((base + 30)) to=$((base + 20))
    "${realtime[@]}" "$tool" relay --profile "$profile" --seed 7 --timeout 4 --log "$out/$side.relay" \
      udp://127.0.0.1:$listen udp://127.0.0.1:$to >"$out/$side.relay.out" &
  done
  sleep 1
  "${realtime[@]}" "$tool" send --bitstream "$work/sent.bit" udp://127.0.0.1:$((base + 10)) >"$out/receive.send" &
  "${realtime[@]}" "$tool" send --bitstream "$work/sent.bit" udp://127.0.0.1:$((base + 30)) >"$out/gstreamer.send"
  wait
}
for i in "${!profiles[@]}"; do run_pair "$i" & done
wait

python3 - "$work" "${profiles[@]}" <<'PY'
import array, json, math, sys, wave
work, profiles = sys.argv[1], sys.argv[2:]

def samples(name):
    with wave.open(name) as w:
        data = array.array("h", w.readframes(w.getnframes()))
    return data

def first_sent_frame(bitstream):
    at, index = 0, 0
    while at < len(bitstream) and bitstream[at] & 3 == 3:
        at, index = at + 1, index + 1
    return index

def relay_log(name):
    rows = []
    for line in open(name):
        arrival, departure, sequence, timestamp, fate = line.split()
        rows.append((float(arrival), int(sequence), int(timestamp), fate))
    return rows

def snr(reference, received, offset):
    signal = noise = 0.0
    for i in range(min(len(received), len(reference) - offset)):
        r = reference[offset + i]
        signal += r * r
        noise += (r - received[i]) ** 2
    return 10 * math.log10(signal / noise) if noise > 0 else float("inf")

def percentile(values, share):
    values = sorted(values)
    return values[int(share * (len(values) - 1))] if values else 0.0

reference = samples(f"{work}/reference.wav")
first_frame = first_sent_frame(open(f"{work}/sent.bit", "rb").read())
print(f"{len(reference) // 240} frames sent (with the silence left untransmitted)\n")
print("| profile | receiver | path lost | late | concealed | frames written | mean delay/ms | p95 delay/ms | SNR/dB |")
print("|---|---|---:|---:|---:|---:|---:|---:|---:|")
for profile in profiles:
    for side in ("receive", "gstreamer"):
        log = relay_log(f"{work}/{profile}/{side}.relay")
        lost = sum(1 for row in log if row[3] == "lost")
        sent_ts = log[0][2]
        delivered = [row for row in log if row[3] != "lost"]
        base_seq = log[0][1]
        first = min(delivered, key=lambda row: (row[1] - base_seq) % 65536)
        offset = (first_frame + ((first[2] - sent_ts) % 2**32) // 240) * 240
        received = samples(f"{work}/{profile}/{side}.wav")
        quality = snr(reference, received, offset)
        if side == "receive":
            report = json.load(open(f"{work}/{profile}/receive.json"))
            counts, stream = report["counts"], report["streams"][0]
            late, concealed = counts["late packets dropped"], stream["lost_frames"]
            mean, p95 = counts["playout delay/ms mean"], counts["playout delay/ms p95"]
            name = "g723 receive"
        else:
            report = json.load(open(f"{work}/{profile}/gstreamer.json"))
            sent_at = {row[2]: row[0] for row in log}
            delays = [(played - sent_at[ts]) * 1000 for ts, played in report["played"] if ts in sent_at]
            late, concealed = report["late"], report["concealed_frames"]
            mean = sum(delays) / len(delays) if delays else 0
            p95 = percentile(delays, 0.95)
            name = f"GStreamer ({report['latency_ms']} ms)"
        written = len(received) // 240
        print(f"| {profile} | {name} | {lost} | {late} | {concealed} | {written} | {mean:.0f} | {p95:.0f} | {quality:.1f} |")
PY
