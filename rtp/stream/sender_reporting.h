// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_STREAM_SENDER_REPORTING_H
#define G723_RTP_STREAM_SENDER_REPORTING_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "rtp/packet/rtcp_packet.h"

namespace g723::rtp {

// The RTCP side of a live sender (RFC 3550): writes its sender reports,
// each with the SDES CNAME and the last with a BYE, and takes in the
// receiver reports that come back about its stream.
class sender_reporting {
public:
    sender_reporting(std::uint32_t ssrc, std::string cname) : ssrc_(ssrc), cname_(std::move(cname)) {}

    // A packet of `payload_bytes` handed to the network.
    void count(std::size_t payload_bytes) {
        ++packets_;
        octets_ += static_cast<std::uint32_t>(payload_bytes);
    }
    // A sender report for now, whose media clock reads `rtp_timestamp`.
    std::vector<std::uint8_t> sender_report(std::uint32_t rtp_timestamp, bool goodbye);
    // A datagram that came back; reports about other SSRCs, RTP and
    // malformed RTCP are counted and otherwise ignored.
    void hear(std::span<const std::uint8_t> datagram);

    std::uint64_t reports_heard() const { return reports_heard_; }
    const std::optional<report_block>& last_block() const { return last_; }
    // "3 sender reports sent; 2 receiver reports: ..." for the summary.
    std::string summary() const;

private:
    std::uint32_t ssrc_;
    std::string cname_;
    std::uint32_t packets_ = 0, octets_ = 0;
    std::uint64_t reports_sent_ = 0, reports_heard_ = 0, ignored_ = 0;
    std::optional<report_block> last_;
    std::optional<double> round_trip_ms_;
};

}  // namespace g723::rtp

#endif
