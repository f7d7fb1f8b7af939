// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_PACKET_RTCP_PACKET_H
#define G723_RTP_PACKET_RTCP_PACKET_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace g723::rtp {

// What a sender report says the sender had sent when it was written.
struct sender_info {
    std::uint64_t ntp_timestamp = 0;  // wall clock, 32.32 fixed point from 1900
    std::uint32_t rtp_timestamp = 0;  // the same instant on the media clock
    std::uint32_t packet_count = 0;
    std::uint32_t octet_count = 0;    // payload bytes
};

// Reception of one source, as a receiver reports it back.
struct report_block {
    std::uint32_t ssrc = 0;
    std::uint8_t fraction_lost = 0;     // since the last report, in 1/256
    std::int32_t cumulative_lost = 0;   // 24-bit signed on the wire
    std::uint32_t highest_sequence = 0; // extended
    std::uint32_t jitter = 0;           // timestamp units
    std::uint32_t last_sr = 0;          // middle 32 bits of the last SR's NTP time
    std::uint32_t delay_since_last_sr = 0;  // 1/65536 s
};

// The parts of a compound RTCP packet (RFC 3550) a G.723.1 endpoint uses.
struct rtcp_compound {
    std::uint32_t ssrc = 0;              // of the first report (SR or RR)
    std::optional<sender_info> sender;   // when it is a sender report
    std::vector<report_block> blocks;
    std::string cname;                   // SDES CNAME of `ssrc`, if given
    std::vector<std::uint32_t> bye;      // sources leaving
};

enum class rtcp_parse_result {
    ok,
    too_short,      // fewer bytes than a header or than a length says
    not_version_2,
    not_a_report,   // the first packet is neither SR nor RR
    bad_length,     // lengths that do not add up to the datagram, or contents that overrun them
    bad_padding,    // padding anywhere but at the end, or longer than its packet
};

inline constexpr std::uint8_t rtcp_sender_report = 200;
inline constexpr std::uint8_t rtcp_receiver_report = 201;
inline constexpr std::uint8_t rtcp_source_description = 202;
inline constexpr std::uint8_t rtcp_goodbye = 203;

// True when a datagram on a port that carries both RTP and RTCP is RTCP:
// version 2 and a second byte of 192 to 223 (RFC 5761, 4), which no RTP
// payload type with the marker bit can be.
bool is_rtcp(std::span<const std::uint8_t> datagram);

// Checks a compound packet as RFC 3550, A.2 does and reads it. On anything
// but `ok`, `compound` is unchanged. Packets of other types are skipped.
rtcp_parse_result parse_rtcp_compound(std::span<const std::uint8_t> datagram, rtcp_compound& compound);

std::string_view describe(rtcp_parse_result result);

// A compound packet: a sender report when `compound.sender` is set, a
// receiver report otherwise, with its blocks (at most 31), an SDES with
// the CNAME, and a BYE of `compound.ssrc` when `compound.bye` is not empty.
std::vector<std::uint8_t> write_rtcp_compound(const rtcp_compound& compound);

// The NTP time (RFC 5905 format) of the system's wall clock now, and the
// middle 32 bits that a report block quotes.
std::uint64_t ntp_time_now();
// The NTP time (32.32 fixed point from 1900) of an instant given in
// nanoseconds since 1970.
std::uint64_t ntp_time(std::int64_t nanoseconds);
inline std::uint32_t ntp_middle(std::uint64_t ntp) { return static_cast<std::uint32_t>(ntp >> 16); }

}  // namespace g723::rtp

#endif
