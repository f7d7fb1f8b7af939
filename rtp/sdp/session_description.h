// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_SDP_SESSION_DESCRIPTION_H
#define G723_RTP_SDP_SESSION_DESCRIPTION_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rtp/sdp/crypto_attribute.h"

namespace g723::rtp::sdp {

// A payload type a media description names with a=rtpmap and a=fmtp.
struct media_format {
    unsigned payload_type = 0;
    std::string encoding;  // as written: "G723"
    unsigned clock_rate = 0;
    std::string parameters;  // the a=fmtp text after the payload type
};

// One m= line and what applies to it.
struct media_description {
    std::string media;    // "audio"
    std::string address;  // c= of the media, else of the session; empty when none
    std::uint16_t port = 0;
    std::string transport;                // "RTP/AVP"
    std::vector<unsigned> payload_types;  // in the m= line's order
    std::vector<media_format> formats;
    std::vector<crypto_attribute> crypto;  // its a=crypto lines, in order
};

struct session_description {
    std::vector<media_description> media;
};

// Reads an SDP body, line by line "x=value". Lines it does not know and
// lines that do not parse are passed over, so a damaged body yields what
// could be read.
session_description parse_session_description(std::string_view body);

// A G.723.1 payload type offered by a media description: the static type 4
// when listed, or a dynamic type whose rtpmap says G723/8000.
struct g723_format {
    unsigned payload_type = 0;
    // From a=fmtp annexa=yes|no: whether silence compression may be used.
    std::optional<bool> annex_a;
};

std::vector<g723_format> g723_formats(const media_description& media);

}  // namespace g723::rtp::sdp

#endif
