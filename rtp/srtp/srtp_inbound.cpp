// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/srtp/srtp_inbound.h"

#include "rtp/packet/network_order.h"

namespace g723::rtp::srtp {

namespace {

// The SSRCs of a map of refusals are chosen by whoever sends: beyond this
// many, refusals are counted in the total only.
constexpr std::size_t most_ssrcs = 1024;

bool is_rtcp(std::span<const std::uint8_t> datagram) {
    return datagram.size() >= 8 && datagram[1] >= 200 && datagram[1] <= 206;
}

}  // namespace

srtp_inbound::srtp_inbound(const srtp_key& key) : suite_(key.suite), session_(key, session_direction::inbound) {}

std::optional<std::span<const std::uint8_t>> srtp_inbound::open(std::span<std::uint8_t> datagram) {
    std::size_t length = 0;
    const bool rtcp = is_rtcp(datagram);
    const unprotect_result result =
        rtcp ? session_.unprotect_rtcp(datagram, length) : session_.unprotect_rtp(datagram, length);
    if (result == unprotect_result::ok) return std::span<const std::uint8_t>(datagram.first(length));
    // The sender's SSRC: bytes 8 to 11 of RTP, 4 to 7 of RTCP.
    const std::size_t at = rtcp ? 4 : 8;
    const auto ssrc = datagram.size() >= at + 4 ? std::optional(read_be32(datagram, at)) : std::nullopt;
    refusals* counted = nullptr;
    if (ssrc && (by_ssrc_.size() < most_ssrcs || by_ssrc_.contains(*ssrc))) counted = &by_ssrc_[*ssrc];
    if (result == unprotect_result::replayed) {
        ++total_.replayed;
        if (counted != nullptr) ++counted->replayed;
    } else {
        ++total_.failed;
        if (counted != nullptr) ++counted->failed;
    }
    return std::nullopt;
}

}  // namespace g723::rtp::srtp
