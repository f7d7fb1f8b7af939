// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/stream/stream_report.h"

#include <algorithm>
#include <cstdio>

namespace g723::rtp {

namespace {

std::string printed(const char* format, auto... values) {
    char buffer[256];
    const int length = std::snprintf(buffer, sizeof buffer, format, values...);
    return std::string(buffer, length < 0 ? 0 : std::min<std::size_t>(length, sizeof buffer - 1));
}

// A figure in a table column of `width`: with `decimals` when it fits,
// whole when that fits, else in exponent form (a figure that large is
// itself a sign of hostile or broken input), so that columns stay aligned.
std::string column(double value, int width, int decimals) {
    std::string text = printed("%*.*f", width, decimals, value);
    if (static_cast<int>(text.size()) > width) text = printed("%*.0f", width, value);
    for (int precision = 2; static_cast<int>(text.size()) > width && precision >= 0; --precision) {
        text = printed("%*.*e", width, precision, value);
    }
    return text;
}

unsigned long long wide(std::uint64_t value) {
    return static_cast<unsigned long long>(value);
}

std::string json_string(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20) {
            quoted += printed("\\u%04x", static_cast<unsigned>(byte));
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

// The statistics as JSON members, in the table's order.
std::string json_members(const stream_statistics& s) {
    return printed(
               "\"packets\": %llu, \"frames\": %llu, \"lost_packets\": %llu, "
               "\"lost_frames\": %llu, \"duplicated\": %llu, \"reordered\": %llu, ",
               wide(s.packets), wide(s.frames), wide(s.lost_packets), wide(s.lost_frames),
               wide(s.duplicated), wide(s.reordered)) +
           printed(
               "\"sid_frames\": %llu, \"untransmitted_frames\": %llu, "
               "\"silence_seconds\": %.2f, \"duration_seconds\": %.2f, ",
               wide(s.sid_frames), wide(s.untransmitted_frames), s.silence_seconds(),
               s.duration_seconds()) +
           printed(
               "\"jitter_ms\": %.2f, \"largest_gap_ms\": %.1f, \"malformed\": %llu, "
               "\"not_supported_frames\": %llu, \"invalid_frames\": %llu, \"segments\": %llu, "
               "\"beyond_time_frames\": %llu",
               s.jitter_ms, s.largest_gap_ms, wide(s.malformed), wide(s.not_supported_frames),
               wide(s.invalid_frames), wide(s.segments), wide(s.beyond_time_frames)) +
           (s.sender_reports == 0
                ? std::string()
                : printed(", \"sender_reports\": %llu, \"sender_reported_packets\": %llu, "
                          "\"sender_reported_bytes\": %llu",
                          wide(s.sender_reports), wide(s.sender_reported_packets),
                          wide(s.sender_reported_bytes)));
}

// ", SRTP AES_CM_128_HMAC_SHA1_80 (key from SDP), 3 failed authentication".
std::string encryption_text(const stream_encryption& e) {
    if (!e.encrypted) return "";
    std::string text = e.key_source.empty()
                           ? ", SRTP: no key, not decoded"
                           : ", SRTP " + e.suite + " (key " + (e.key_source == "SDP" ? "from SDP" : e.key_source) + ")";
    if (e.authentication_failures > 0) {
        text += printed(", %llu failed authentication", wide(e.authentication_failures));
    }
    if (e.replayed > 0) text += printed(", %llu replayed", wide(e.replayed));
    return text;
}

std::string json_encryption(const stream_encryption& e) {
    return printed(", \"encrypted\": %s, \"srtp_suite\": ", e.encrypted ? "true" : "false") +
           (e.suite.empty() ? "null" : json_string(e.suite)) + ", \"key_source\": " +
           (e.key_source.empty() ? "null" : json_string(e.key_source)) +
           printed(", \"authentication_failures\": %llu, \"replayed\": %llu",
                   wide(e.authentication_failures), wide(e.replayed));
}

}  // namespace

std::string format_report_table(const stream_report& report) {
    std::string text;
    if (report.streams.empty()) {
        text += "no G.723.1 stream found\n";
    } else {
        text +=
            "stream packets frames   lost  dup reord   SID silence/s duration/s jitter/ms "
            "gap/ms malformed\n";
        for (std::size_t i = 0; i < report.streams.size(); ++i) {
            const stream_statistics& s = report.streams[i].statistics;
            text += printed("%6zu %7llu %6llu %6llu %4llu %5llu %5llu ", i + 1, wide(s.packets),
                            wide(s.frames), wide(s.lost_frames), wide(s.duplicated),
                            wide(s.reordered), wide(s.sid_frames)) +
                    column(s.silence_seconds(), 9, 2) + " " + column(s.duration_seconds(), 10, 2) +
                    " " + column(s.jitter_ms, 9, 2) + " " + column(s.largest_gap_ms, 6, 1) +
                    printed(" %9llu\n", wide(s.malformed));
        }
        text += "\n";
        for (std::size_t i = 0; i < report.streams.size(); ++i) {
            const stream_report_row& row = report.streams[i];
            const stream_statistics& s = row.statistics;
            text += printed("%6zu ", i + 1) + row.name +
                    printed(", payload type %u (", row.payload_type) + row.payload_type_source +
                    ")" + encryption_text(row.encryption);
            if (s.lost_packets > 0) text += printed(", %llu packets lost", wide(s.lost_packets));
            if (s.segments > 1) text += printed(", %llu segments", wide(s.segments));
            if (s.not_supported_frames > 0) {
                text +=
                    printed(", %llu frames at 5.3 kbit/s concealed", wide(s.not_supported_frames));
            }
            if (s.invalid_frames > 0) {
                text += printed(", %llu invalid frames concealed", wide(s.invalid_frames));
            }
            if (s.beyond_time_frames > 0) {
                text += printed(", %llu frames dropped beyond the time the packets took",
                                wide(s.beyond_time_frames));
            }
            if (s.sender_reports > 0) {
                text += printed(", the sender reported %llu packets (%llu bytes) sent",
                                wide(s.sender_reported_packets), wide(s.sender_reported_bytes));
            }
            text += "\n";
            if (!row.output.empty()) text += "       -> " + row.output + "\n";
        }
    }
    if (!report.counts.empty()) {
        text += "\n";
        for (const auto& [label, count] : report.counts) {
            text += printed("%-24s %llu\n", label.c_str(), wide(count));
        }
    }
    return text;
}

std::string format_report_json(const stream_report& report) {
    std::string text = "{\"streams\": [";
    for (std::size_t i = 0; i < report.streams.size(); ++i) {
        const stream_report_row& row = report.streams[i];
        text += i == 0 ? "\n  " : ",\n  ";
        text += "{\"stream\": " + printed("%zu", i + 1) + ", \"name\": " + json_string(row.name) +
                printed(", \"payload_type\": %u", row.payload_type) +
                ", \"payload_type_source\": " + json_string(row.payload_type_source) +
                ", \"output\": " + (row.output.empty() ? "null" : json_string(row.output)) + ", " +
                json_members(row.statistics) + json_encryption(row.encryption) + "}";
    }
    text += report.streams.empty() ? "],\n \"counts\": {" : "\n ],\n \"counts\": {";
    for (std::size_t i = 0; i < report.counts.size(); ++i) {
        text += (i == 0 ? "" : ", ") + json_string(report.counts[i].first) +
                printed(": %llu", wide(report.counts[i].second));
    }
    return text + "}}\n";
}

}  // namespace g723::rtp
