// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_PACKET_RTP_PACKETIZER_H
#define G723_RTP_PACKET_RTP_PACKETIZER_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "media/codec/frame_layout.h"

namespace g723::rtp {

// Frame layout and codec handles come from the media library.
using namespace g723::media;

struct packetizer_settings {
    std::size_t frames_per_packet = 1;
    std::uint8_t payload_type = 4;
    std::uint32_t ssrc = 0;
    std::uint16_t first_sequence = 0;
    std::uint32_t first_timestamp = 0;
};

// A packet ready for the wire.
struct outgoing_packet {
    std::vector<std::uint8_t> datagram;  // RTP header and payload
    std::uint64_t first_frame = 0;       // index of its first frame in the stream
    std::size_t frames = 0;
    std::uint16_t sequence = 0;
    bool marker = false;
};

// Gathers a stream's coded frames into RTP packets of up to
// `frames_per_packet` consecutive frames. Untransmitted frames are never
// sent: they end the packet being gathered, and the timestamp moves on
// over them. The first packet after them (and the stream's first packet)
// starts a talkspurt and carries the marker bit. Sequence numbers go up by
// one per packet, timestamps by 240 per frame, both wrapping.
class rtp_packetizer {
public:
    explicit rtp_packetizer(const packetizer_settings& settings);

    // Takes the next frame of the stream; returns a packet when one is full
    // or ended by an untransmitted frame.
    std::optional<outgoing_packet> add(const frame_slot& frame);
    // The packet still being gathered at the end of the stream, if any.
    std::optional<outgoing_packet> finish();

private:
    std::optional<outgoing_packet> close_packet();

    packetizer_settings settings_;
    std::uint64_t frame_index_ = 0;  // frames taken so far
    std::uint16_t next_sequence_;
    std::vector<std::uint8_t> payload_;
    std::size_t gathered_ = 0;
    std::uint64_t gathered_from_ = 0;
    bool talkspurt_starts_ = true;
};

}  // namespace g723::rtp

#endif
