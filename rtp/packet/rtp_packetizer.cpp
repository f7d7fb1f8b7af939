// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/packet/rtp_packetizer.h"

#include "rtp/packet/rtp_packet.h"

namespace g723::rtp {

rtp_packetizer::rtp_packetizer(const packetizer_settings& settings)
    : settings_(settings), next_sequence_(settings.first_sequence) {}

std::optional<outgoing_packet> rtp_packetizer::add(const frame_slot& frame) {
    const frame_kind kind = kind_of(frame[0]);
    const std::uint64_t index = frame_index_++;
    if (kind == frame_kind::untransmitted) {
        auto packet = close_packet();
        talkspurt_starts_ = true;
        return packet;
    }
    if (gathered_ == 0) gathered_from_ = index;
    payload_.insert(payload_.end(), frame.begin(),
                    frame.begin() + static_cast<std::ptrdiff_t>(meaningful_bytes(kind)));
    ++gathered_;
    if (gathered_ == settings_.frames_per_packet) return close_packet();
    return std::nullopt;
}

std::optional<outgoing_packet> rtp_packetizer::finish() { return close_packet(); }

std::optional<outgoing_packet> rtp_packetizer::close_packet() {
    if (gathered_ == 0) return std::nullopt;
    rtp_packet header;
    header.marker = talkspurt_starts_;
    header.payload_type = settings_.payload_type;
    header.sequence = next_sequence_++;
    header.timestamp = settings_.first_timestamp +
                       static_cast<std::uint32_t>(gathered_from_ * timestamp_units_per_frame);
    header.ssrc = settings_.ssrc;
    header.payload = payload_;

    outgoing_packet packet;
    packet.datagram.resize(rtp_header_bytes + payload_.size());
    write_rtp_packet(header, packet.datagram);
    packet.first_frame = gathered_from_;
    packet.frames = gathered_;
    packet.sequence = header.sequence;
    packet.marker = header.marker;

    payload_.clear();
    gathered_ = 0;
    talkspurt_starts_ = false;
    return packet;
}

}  // namespace g723::rtp
