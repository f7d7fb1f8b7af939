// SPDX-License-Identifier: BSD-2-Clause
// The RTP stream's timeline on arbitrary packet sequences: sequence numbers
// extended across the wrap, duplicates dropped, packets put in sequence order
// as a receiver does, then laid on the timeline frame by frame.
//
// Each packet is 8 bytes from the input's front (sequence, timestamp, a flag
// byte choosing SSRC changes and whether the arrival time is known, the
// arrival step in tens of milliseconds), then a payload of the length the
// flag byte gives. Checks: each packet adds exactly the frames its step
// reports, received frames carry its payload's frames (or all of them are
// dropped as beyond the arrival time), lost frames are zero
// and untransmitted ones header code 3, a gap never exceeds the timeline's
// limit, and the start of the timeline decodes into 240 samples a frame.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "media/codec/frame_layout.h"
#include "fuzz/fuzz_check.h"
#include "g723/g723.h"
#include "rtp/packet/g723_payload.h"
#include "rtp/packet/sequence_extender.h"
#include "rtp/stream/stream_statistics.h"
#include "rtp/stream/stream_timeline.h"
#include "rtp/stream/timeline_decoding.h"

namespace {

using namespace g723::media;
using namespace g723::rtp;

constexpr int kMostPackets = 200;
constexpr std::size_t kDecodedFrames = 64;

struct arrived {
    std::int64_t sequence;
    timeline_packet packet;
    std::vector<std::uint8_t> payload;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<arrived> packets;
    sequence_extender extender;
    double clock = 0.0;
    std::uint32_t ssrc = 0x5eed;
    while (in.remaining_bytes() >= 8 && packets.size() < kMostPackets) {
        const std::vector<std::uint8_t> head = in.ConsumeBytes<std::uint8_t>(8);
        const auto sequence = static_cast<std::uint16_t>(head[0] << 8 | head[1]);
        const std::uint32_t timestamp = static_cast<std::uint32_t>(head[2]) << 24 | head[3] << 16 | head[4] << 8 | head[5];
        const std::uint8_t flags = head[6];
        clock += head[7] * 0.01;
        if ((flags & 0xc0) == 0xc0) ++ssrc;
        arrived a{extender.extend(sequence), {}, in.ConsumeBytes<std::uint8_t>(flags & 0x3f)};
        a.packet.timestamp = timestamp;
        a.packet.ssrc = ssrc;
        if ((flags & 0xc0) != 0x40) a.packet.arrival_seconds = clock;
        packets.push_back(std::move(a));
    }
    // What a receiver hands the timeline: sequence order, no duplicates.
    std::stable_sort(packets.begin(), packets.end(),
                     [](const arrived& a, const arrived& b) { return a.sequence < b.sequence; });
    packets.erase(std::unique(packets.begin(), packets.end(),
                              [](const arrived& a, const arrived& b) { return a.sequence == b.sequence; }),
                  packets.end());

    stream_timeline timeline;
    stream_statistics statistics;
    std::vector<timeline_frame> frames;
    for (arrived& a : packets) {
        a.packet.extended_sequence = a.sequence;
        a.packet.payload = a.payload;
        const std::size_t before = frames.size();
        const timeline_step step = timeline.add(a.packet, frames);
        statistics.add(step);
        const payload_frames carried = split_payload(a.payload);
        G723_FUZZ_CHECK(step.malformed == carried.malformed);
        // A packet's frames are all placed, or all dropped when they would run
        // ahead of the time the packets took to arrive.
        G723_FUZZ_CHECK(step.received + step.beyond_time == carried.frames.size());
        G723_FUZZ_CHECK(step.beyond_time == 0 || step.received == 0);
        G723_FUZZ_CHECK(frames.size() == before + step.lost + step.untransmitted + step.received);
        G723_FUZZ_CHECK(step.lost + step.untransmitted <= stream_timeline::max_gap_units / 240 + 1);
        if (step.received == 0) {
            G723_FUZZ_CHECK(step.lost == 0 && step.untransmitted == 0 && !step.new_segment);
            continue;
        }
        if (step.new_segment) G723_FUZZ_CHECK(step.lost == 0 && step.untransmitted == 0);
        std::size_t at = before;
        for (std::size_t i = 0; i < step.lost; ++i, ++at) {
            G723_FUZZ_CHECK(frames[at].origin == frame_origin::lost && !frames[at].starts_segment);
            G723_FUZZ_CHECK(std::ranges::all_of(frames[at].slot, [](std::uint8_t v) { return v == 0; }));
        }
        for (std::size_t i = 0; i < step.untransmitted; ++i, ++at) {
            G723_FUZZ_CHECK(frames[at].origin == frame_origin::untransmitted && !frames[at].starts_segment);
            G723_FUZZ_CHECK(frames[at].slot[0] == 3);
        }
        std::size_t sid = 0;
        for (std::size_t i = 0; i < step.received; ++i, ++at) {
            G723_FUZZ_CHECK(frames[at].origin == frame_origin::received);
            G723_FUZZ_CHECK(frames[at].starts_segment == (i == 0 && step.new_segment));
            G723_FUZZ_CHECK(frames[at].slot == carried.frames[i]);
            sid += kind_of(frames[at].slot[0]) == frame_kind::sid;
        }
        G723_FUZZ_CHECK(sid == step.sid);
    }
    G723_FUZZ_CHECK(statistics.timeline_frames() == frames.size());
    if (!frames.empty()) G723_FUZZ_CHECK(frames.front().starts_segment);

    // The timeline's start through a decoder, as the pcap command does.
    g723_decoder* decoder = nullptr;
    G723_FUZZ_CHECK(g723_decoder_open(&decoder) == g723_ok);
    std::array<std::int16_t, frame_samples> samples;
    for (std::size_t i = 0; i < frames.size() && i < kDecodedFrames; ++i) {
        decode_timeline_frame(decoder, frames[i], samples, statistics);
    }
    G723_FUZZ_CHECK(statistics.not_supported_frames + statistics.invalid_frames <= statistics.frames);
    g723_decoder_close(&decoder);
    return 0;
}
