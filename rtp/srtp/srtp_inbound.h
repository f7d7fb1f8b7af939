// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_SRTP_SRTP_INBOUND_H
#define G723_RTP_SRTP_SRTP_INBOUND_H

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string_view>

#include "rtp/srtp/srtp_key.h"
#include "rtp/srtp/srtp_session.h"

namespace g723::rtp::srtp {

// The receiving end of a live SRTP call: every datagram is authenticated
// and decrypted before anything reads it, so that a forged, damaged or
// replayed packet never reaches the jitter buffer. Refusals are counted by
// the SSRC the packet claims (its header is clear).
class srtp_inbound {
public:
    explicit srtp_inbound(const srtp_key& key);

    struct refusals {
        std::uint64_t failed = 0;    // failed authentication
        std::uint64_t replayed = 0;  // came again, or too old for the window
    };

    // The clear packet, decrypted in place at the start of `datagram`, or
    // nothing when it is refused. SRTCP (packet types 200 to 206, on the
    // same port) is opened as such.
    std::optional<std::span<const std::uint8_t>> open(std::span<std::uint8_t> datagram);

    const std::map<std::uint32_t, refusals>& refused_by_ssrc() const { return by_ssrc_; }
    refusals refused() const { return total_; }
    std::string_view suite() const { return describe(suite_).name; }

private:
    srtp_suite suite_;
    srtp_session session_;
    std::map<std::uint32_t, refusals> by_ssrc_;
    refusals total_;
};

}  // namespace g723::rtp::srtp

#endif
