// SPDX-License-Identifier: BSD-2-Clause
// The SIP message and SDP body parsers on arbitrary text, as a capture's UDP
// payloads bring them. The text is parsed as a SIP message, its body (or,
// when it is none, the whole text) as SDP, and the G.723.1 formats of every
// media description are picked out. Checks: the body lies inside the text
// and within the message's Content-Length; the content type is lower case;
// every G.723.1 format is a payload type its m= line lists, static type 4 or
// a type whose rtpmap names G723 at 8000 Hz.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "rtp/sdp/session_description.h"
#include "rtp/sdp/sip_message.h"

namespace {

using namespace g723::rtp::sdp;

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

void check_session(std::string_view body) {
    const session_description session = parse_session_description(body);
    for (const media_description& media : session.media) {
        G723_FUZZ_CHECK(media.media.size() <= body.size() && media.address.size() <= body.size());
        for (const unsigned type : media.payload_types) G723_FUZZ_CHECK(type <= 127);
        for (const g723_format& format : g723_formats(media)) {
            G723_FUZZ_CHECK(std::ranges::find(media.payload_types, format.payload_type) != media.payload_types.end());
            if (format.payload_type == 4) continue;
            const bool named = std::ranges::any_of(media.formats, [&](const media_format& f) {
                return f.payload_type == format.payload_type && equal_ignoring_case(f.encoding, "G723") &&
                       f.clock_rate == 8000;
            });
            G723_FUZZ_CHECK(named);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The text alone on the heap, so that a read beyond it is caught.
    const std::vector<char> bytes(data, data + size);
    const std::string_view text(bytes.data(), bytes.size());
    const auto message = parse_sip_message(text);
    if (!message) {
        check_session(text);
        return 0;
    }
    const std::string_view body = message->body;
    if (!body.empty()) {
        G723_FUZZ_CHECK(body.data() >= text.data() && body.data() + body.size() <= text.data() + text.size());
    }
    G723_FUZZ_CHECK(std::ranges::none_of(message->content_type, [](char c) { return c >= 'A' && c <= 'Z'; }));
    if (!message->request) G723_FUZZ_CHECK(message->status >= 0);
    check_session(body);
    return 0;
}
