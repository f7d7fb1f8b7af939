// SPDX-License-Identifier: BSD-2-Clause
// SRTP sessions for a build without libsrtp2 (the page, when its source
// could not be fetched): every key is refused, so that a capture's SRTP
// streams are listed as encrypted with no key and never decoded.
#include "rtp/srtp/srtp_session.h"

namespace g723::rtp::srtp {

std::string_view describe(unprotect_result result) {
    return result == unprotect_result::ok ? "authenticated" : "not authenticated";
}

srtp_session::srtp_session(const srtp_key&, session_direction, unsigned) {
    throw srtp_key_error("this page was built without libsrtp2");
}

srtp_session::~srtp_session() = default;

srtp_session::srtp_session(srtp_session&& other) noexcept : context_(other.context_), mki_(other.mki_) {}

bool srtp_session::protect_rtp(std::vector<std::uint8_t>&) { return false; }
bool srtp_session::protect_rtcp(std::vector<std::uint8_t>&) { return false; }

unprotect_result srtp_session::unprotect_rtp(std::span<std::uint8_t>, std::size_t&) {
    return unprotect_result::failed;
}

unprotect_result srtp_session::unprotect_rtcp(std::span<std::uint8_t>, std::size_t&) {
    return unprotect_result::failed;
}

}  // namespace g723::rtp::srtp
