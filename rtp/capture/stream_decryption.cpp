// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/capture/stream_decryption.h"

#include <algorithm>

namespace g723::rtp {

namespace {

// A capture's paths reorder packets further than a live receiver would
// wait for them: the widest replay window libsrtp keeps.
constexpr unsigned capture_replay_window = 0x7fff;

// The line of the sender's a=crypto offers that the other side took: the
// one whose tag and suite the other side's lines repeat, else the first.
const sdp::crypto_attribute& accepted_line(const announced_media& sender, const announced_media* receiver) {
    if (receiver != nullptr) {
        for (const sdp::crypto_attribute& line : sender.crypto) {
            for (const sdp::crypto_attribute& other : receiver->crypto) {
                if (line.tag == other.tag && line.suite == other.suite) return line;
            }
        }
    }
    return sender.crypto.front();
}

// The SDP of the side that sends `key`'s stream: its source endpoint's own
// when that offers keys (symmetric RTP), else the other endpoint of its
// destination's call, one on the source's address first.
const announced_media* sender_of(const stream_key& key, const std::map<endpoint, announced_media>& announced) {
    const auto source = announced.find(key.source);
    if (source != announced.end() && !source->second.crypto.empty()) return &source->second;
    const auto destination = announced.find(key.destination);
    if (destination == announced.end()) return nullptr;
    const announced_media* found = nullptr;
    for (const auto& [point, media] : announced) {
        if (point == key.destination || media.crypto.empty() || media.call_id != destination->second.call_id) continue;
        if (found == nullptr || point.address == key.source.address) found = &media;
    }
    return found;
}

}  // namespace

bool names_stream(const given_srtp_key& given, const stream_key& key) {
    if (given.ssrc) return *given.ssrc == key.ssrc;
    return (!given.address || *given.address == key.source.address) &&
           (!given.port || *given.port == key.source.port);
}

stream_keying find_stream_key(const stream_key& key, const std::map<endpoint, announced_media>& announced,
                              std::span<const given_srtp_key> given) {
    stream_keying keying;
    stream_encryption& encryption = keying.encryption;
    for (const given_srtp_key& candidate : given) {
        if (!names_stream(candidate, key)) continue;
        encryption.encrypted = true;
        encryption.suite = srtp::describe(candidate.key.suite).name;
        encryption.key_source = "given";
        keying.key = candidate.key;
        return keying;
    }
    const auto destination = announced.find(key.destination);
    const auto source = announced.find(key.source);
    encryption.encrypted = (destination != announced.end() && destination->second.secure) ||
                           (source != announced.end() && source->second.secure);
    if (!encryption.encrypted) return keying;
    const announced_media* sender = sender_of(key, announced);
    if (sender == nullptr) return keying;
    const sdp::crypto_attribute& line =
        accepted_line(*sender, destination == announced.end() ? nullptr : &destination->second);
    try {
        keying.key = srtp::parse_srtp_key(line.suite, line.key_params);
        encryption.suite = line.suite;
        encryption.key_source = "SDP";
    } catch (const srtp::srtp_key_error&) {
        // A key SDP gets wrong, or a suite libsrtp lacks: no key.
    }
    return keying;
}

stream_decryption::stream_decryption(const std::map<endpoint, announced_media>& announced,
                                     std::span<const given_srtp_key> given)
    : announced_(announced), given_(given) {}

std::optional<captured_rtp_packet> stream_decryption::keep(const stream_key& key, double seconds,
                                                           const rtp::rtp_packet& packet) {
    auto [entry, fresh] = streams_.try_emplace(key);
    stream_state& state = entry->second;
    if (fresh) {
        stream_keying keying = find_stream_key(key, announced_, given_);
        state.encryption = keying.encryption;
        if (keying.key) {
            try {
                state.session = std::make_unique<srtp::srtp_session>(*keying.key, srtp::session_direction::inbound,
                                                                     capture_replay_window);
            } catch (const srtp::srtp_key_error&) {
                state.encryption.key_source.clear();
            }
        }
    }
    if (!state.encryption.encrypted) return captured(seconds, packet);
    if (!state.session) return std::nullopt;
    buffer_.assign(packet.bytes.begin(), packet.bytes.end());
    std::size_t length = 0;
    switch (state.session->unprotect_rtp(buffer_, length)) {
        case srtp::unprotect_result::ok: break;
        case srtp::unprotect_result::replayed: ++state.encryption.replayed; return std::nullopt;
        case srtp::unprotect_result::failed:
        case srtp::unprotect_result::malformed: ++state.encryption.authentication_failures; return std::nullopt;
    }
    // Authenticated, but a padding count inside that the packet cannot
    // hold: not RTP, dropped.
    rtp::rtp_packet clear;
    if (rtp::parse_rtp_packet(std::span<const std::uint8_t>(buffer_).first(length), clear) != rtp::rtp_parse_result::ok) {
        return std::nullopt;
    }
    return captured(seconds, clear);
}

stream_encryption stream_decryption::encryption(const stream_key& key) const {
    const auto found = streams_.find(key);
    return found == streams_.end() ? stream_encryption{} : found->second.encryption;
}

}  // namespace g723::rtp
