// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_SDP_SIP_MESSAGE_H
#define G723_RTP_SDP_SIP_MESSAGE_H

#include <optional>
#include <string>
#include <string_view>

namespace g723::rtp::sdp {

// The parts of a SIP request or response that matter for finding media:
// which call it belongs to, and its body.
struct sip_message {
    bool request = false;
    std::string method;  // "INVITE" for a request, the CSeq method for a response
    int status = 0;      // responses only
    std::string call_id;
    std::string content_type;  // lower case, parameters dropped: "application/sdp"
    std::string_view body;     // refers into the parsed text
};

// Reads `text` as one SIP message (request line "METHOD URI SIP/2.0" or
// status line "SIP/2.0 CODE REASON", headers, blank line, body); nothing
// when it is not one. Header names are matched without regard to case and
// in their compact forms (i, c, l); the body is cut to Content-Length when
// that is shorter than what follows.
std::optional<sip_message> parse_sip_message(std::string_view text);

}  // namespace g723::rtp::sdp

#endif
