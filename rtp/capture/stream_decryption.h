// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_CAPTURE_STREAM_DECRYPTION_H
#define G723_RTP_CAPTURE_STREAM_DECRYPTION_H

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "rtp/capture/capture_scan.h"
#include "rtp/capture/given_srtp_key.h"
#include "rtp/packet/rtp_packet.h"
#include "rtp/srtp/srtp_key.h"
#include "rtp/srtp/srtp_session.h"
#include "rtp/stream/stream_report.h"

namespace g723::rtp {

bool names_stream(const given_srtp_key& given, const stream_key& key);

// What protects a stream, and with which key: a given key that names it
// first; else the SDES key of its sender's SDP (the offer or answer of the
// same call that is not its destination's, or that of its own source
// endpoint), with the line the other side accepted. Encrypted when a key
// is given or SDP says RTP/SAVP(F) for either end; `key` is empty when
// encrypted without a usable key ("no key").
struct stream_keying {
    stream_encryption encryption;
    std::optional<srtp::srtp_key> key;
};

stream_keying find_stream_key(const stream_key& key, const std::map<endpoint, announced_media>& announced,
                              std::span<const given_srtp_key> given);

// Decrypts the SRTP streams of a capture as their packets are read in
// capture order, each stream with its own libsrtp session, so that its
// rollover counter follows the sequence numbers through every wrap. Clear
// streams pass as they are.
class stream_decryption {
public:
    // `announced` is read as each stream's first packet comes: the scan's
    // own, filling as SIP is read, or the whole capture's on a second
    // reading.
    stream_decryption(const std::map<endpoint, announced_media>& announced, std::span<const given_srtp_key> given);

    // The packet to keep: as it came when the stream is clear, decrypted
    // when it authenticates, nothing when it does not or there is no key
    // (counted in the stream's encryption).
    std::optional<captured_rtp_packet> keep(const stream_key& key, double seconds, const rtp::rtp_packet& packet);

    // What became of each stream met; empty for streams never met.
    stream_encryption encryption(const stream_key& key) const;

private:
    struct stream_state {
        stream_encryption encryption;
        std::unique_ptr<srtp::srtp_session> session;
    };
    const std::map<endpoint, announced_media>& announced_;
    std::span<const given_srtp_key> given_;
    std::map<stream_key, stream_state> streams_;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace g723::rtp

#endif
