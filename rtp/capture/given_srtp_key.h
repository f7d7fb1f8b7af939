// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_CAPTURE_GIVEN_SRTP_KEY_H
#define G723_RTP_CAPTURE_GIVEN_SRTP_KEY_H

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "rtp/capture/ip_packet.h"
#include "rtp/srtp/srtp_key.h"

namespace g723::rtp {

// An SRTP key known from elsewhere than the capture (a PBX's log), and the
// stream it is for: the one a given address, address and port, port or
// SSRC sends. Each direction of a call has its own key.
struct given_srtp_key {
    std::optional<capture::ip_address> address;
    std::optional<std::uint16_t> port;
    std::optional<std::uint32_t> ssrc;
    srtp::srtp_key key;
};

// Reads "STREAM SUITE inline:KEY", STREAM one of "192.0.2.10",
// "192.0.2.10:49170", "[2001:db8::1]:49170", "2001:db8::1", ":49170" or
// "0x1a2b3c4d" (an SSRC). Throws srtp::srtp_key_error, whose message never
// holds the key.
given_srtp_key parse_given_srtp_key(std::string_view text);

// Reads a key file: one key a line as parse_given_srtp_key reads it, blank
// lines and lines starting with '#' passed over. Errors name the line.
std::vector<given_srtp_key> parse_srtp_key_file(std::string_view text);

}  // namespace g723::rtp

#endif
