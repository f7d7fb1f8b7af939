// SPDX-License-Identifier: BSD-2-Clause
// The RTP layer on arbitrary datagrams: the fixed header's parser, the
// G.723.1 payload's splitting into frames, and a decoder taking the frames.
// Checks: the payload lies inside the datagram where the header's counts put
// it; a packet written back from the parsed fields parses to the same fields
// and payload; the frames put back together are the payload, or its prefix
// when the payload is malformed; every frame decodes into 240 samples.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "media/codec/frame_layout.h"
#include "fuzz/fuzz_check.h"
#include "g723/g723.h"
#include "rtp/packet/g723_payload.h"
#include "rtp/packet/rtp_packet.h"

namespace {

using namespace g723::media;
using namespace g723::rtp;

void check_packet(std::span<const std::uint8_t> datagram, const rtp_packet& packet) {
    const std::uint8_t* begin = datagram.data();
    const std::uint8_t* end = begin + datagram.size();
    G723_FUZZ_CHECK(datagram.size() >= rtp_header_bytes && (begin[0] >> 6) == 2);
    G723_FUZZ_CHECK(packet.payload.data() >= begin + rtp_header_bytes + 4 * (begin[0] & 0x0f));
    G723_FUZZ_CHECK(packet.payload.data() + packet.payload.size() <= end);
    if ((begin[0] & 0x20) == 0) G723_FUZZ_CHECK(packet.payload.data() + packet.payload.size() == end);
    G723_FUZZ_CHECK(packet.payload_type == (begin[1] & 0x7f));
    G723_FUZZ_CHECK(packet.marker == ((begin[1] & 0x80) != 0));
    G723_FUZZ_CHECK(packet.sequence == ((begin[2] << 8) | begin[3]));
}

void check_frames(std::span<const std::uint8_t> payload, g723_decoder* decoder) {
    const payload_frames split = split_payload(payload);
    std::vector<std::uint8_t> joined;
    for (const frame_slot& slot : split.frames) {
        const frame_kind kind = kind_of(slot[0]);
        G723_FUZZ_CHECK(kind != frame_kind::untransmitted);
        const std::size_t length = meaningful_bytes(kind);
        G723_FUZZ_CHECK(std::all_of(slot.begin() + length, slot.end(), [](std::uint8_t v) { return v == 0; }));
        joined.insert(joined.end(), slot.begin(), slot.begin() + length);

        std::array<std::int16_t, G723_FRAME_SAMPLES> samples;
        std::int32_t count = -1;
        const g723_result r = g723_decode_frame(decoder, slot.data(), samples.data(), 0, &count);
        G723_FUZZ_CHECK(count == G723_FRAME_SAMPLES);
        G723_FUZZ_CHECK(r == g723_ok || r == g723_frame_not_supported || r == g723_frame_invalid);
    }
    G723_FUZZ_CHECK(joined.size() <= payload.size());
    G723_FUZZ_CHECK(std::equal(joined.begin(), joined.end(), payload.begin()));
    G723_FUZZ_CHECK(split.malformed == (joined.size() != payload.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The datagram alone on the heap, so that a read beyond it is caught.
    const std::vector<std::uint8_t> datagram(data, data + size);
    rtp_packet packet;
    packet.sequence = 0x1234;
    const rtp_parse_result result = parse_rtp_packet(datagram, packet);
    G723_FUZZ_CHECK(!describe(result).empty());
    if (result != rtp_parse_result::ok) {
        G723_FUZZ_CHECK(packet.sequence == 0x1234 && packet.payload.empty());
        return 0;
    }
    check_packet(datagram, packet);

    std::vector<std::uint8_t> rewritten(rtp_header_bytes + packet.payload.size());
    G723_FUZZ_CHECK(write_rtp_packet(packet, rewritten) == rewritten.size());
    G723_FUZZ_CHECK(write_rtp_packet(packet, std::span(rewritten).first(rewritten.size() - 1)) == 0);
    rtp_packet again;
    G723_FUZZ_CHECK(parse_rtp_packet(rewritten, again) == rtp_parse_result::ok);
    G723_FUZZ_CHECK(again.marker == packet.marker && again.payload_type == packet.payload_type &&
                    again.sequence == packet.sequence && again.timestamp == packet.timestamp &&
                    again.ssrc == packet.ssrc);
    G723_FUZZ_CHECK(std::ranges::equal(again.payload, packet.payload));

    g723_decoder* decoder = nullptr;
    G723_FUZZ_CHECK(g723_decoder_open(&decoder) == g723_ok);
    check_frames(packet.payload, decoder);
    g723_decoder_close(&decoder);
    return 0;
}
