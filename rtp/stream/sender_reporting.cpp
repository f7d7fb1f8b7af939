// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/stream/sender_reporting.h"

#include <cstdio>

namespace g723::rtp {

std::vector<std::uint8_t> sender_reporting::sender_report(std::uint32_t rtp_timestamp, bool goodbye) {
    rtcp_compound report;
    report.ssrc = ssrc_;
    report.sender = sender_info{ntp_time_now(), rtp_timestamp, packets_, octets_};
    report.cname = cname_;
    if (goodbye) report.bye.push_back(ssrc_);
    ++reports_sent_;
    return write_rtcp_compound(report);
}

void sender_reporting::hear(std::span<const std::uint8_t> datagram) {
    rtcp_compound compound;
    if (!is_rtcp(datagram) || parse_rtcp_compound(datagram, compound) != rtcp_parse_result::ok) {
        ++ignored_;
        return;
    }
    for (const report_block& block : compound.blocks) {
        if (block.ssrc != ssrc_) continue;
        ++reports_heard_;
        last_ = block;
        // Round trip (RFC 3550, 6.4.1): now less the quoted SR time less
        // the receiver's delay since it, in 1/65536 s.
        if (block.last_sr != 0) {
            const std::uint32_t units = ntp_middle(ntp_time_now()) - block.last_sr - block.delay_since_last_sr;
            round_trip_ms_ = static_cast<double>(units) * 1000.0 / 65536.0;
        }
        return;
    }
    ++ignored_;
}

std::string sender_reporting::summary() const {
    char text[256];
    int written = std::snprintf(text, sizeof text, "%llu sender report%s sent, %llu receiver report%s back",
                                static_cast<unsigned long long>(reports_sent_), reports_sent_ == 1 ? "" : "s",
                                static_cast<unsigned long long>(reports_heard_), reports_heard_ == 1 ? "" : "s");
    std::string result(text, static_cast<std::size_t>(written));
    if (last_) {
        written = std::snprintf(text, sizeof text, " (last: %.1f %% lost, %d lost in all, jitter %.1f ms",
                                last_->fraction_lost * 100.0 / 256.0, last_->cumulative_lost,
                                last_->jitter / 8.0);
        result.append(text, static_cast<std::size_t>(written));
        if (round_trip_ms_) {
            written = std::snprintf(text, sizeof text, ", round trip %.1f ms", *round_trip_ms_);
            result.append(text, static_cast<std::size_t>(written));
        }
        result += ")";
    }
    return result;
}

}  // namespace g723::rtp
