// SPDX-License-Identifier: BSD-2-Clause
// The report of a reading or a live call, as a table and as JSON: rows
// numbered from 1 in both, each stream's notes only where they apply,
// figures too wide for their column in exponent form, names quoted.
#include "rtp/stream/stream_report.h"

#include <gtest/gtest.h>

#include <string>

namespace g723::rtp {
namespace {

stream_report two_streams() {
    stream_report report;
    stream_report_row first;
    first.name = "192.0.2.1:4000 > 192.0.2.2:5004 ssrc 0x00000001";
    first.payload_type = 4;
    first.payload_type_source = "static";
    first.output = "/tmp/first.wav";
    stream_statistics& s = first.statistics;
    s.packets = 100;
    s.frames = 98;
    s.lost_packets = 3;
    s.lost_frames = 2;
    s.duplicated = 1;
    s.reordered = 4;
    s.sid_frames = 5;
    s.untransmitted_frames = 100;
    s.malformed = 6;
    s.segments = 2;
    s.not_supported_frames = 7;
    s.invalid_frames = 8;
    s.beyond_time_frames = 9;
    s.jitter_ms = 1.25;
    s.largest_gap_ms = 1e12;  // from a hostile capture
    first.encryption = {true, "AES_CM_128_HMAC_SHA1_80", "SDP", 2, 1};
    report.streams.push_back(first);
    stream_report_row second;
    second.name = "\"quoted\"\tname";
    second.payload_type = 96;
    second.payload_type_source = "SDP";
    second.statistics.packets = 1;
    second.statistics.frames = 1;
    second.statistics.segments = 1;
    second.encryption.encrypted = true;  // without a key
    report.streams.push_back(second);
    report.counts = {{"packets read", 120}, {"not UDP", 3}};
    return report;
}

TEST(stream_report, TableNumbersRowsAndNotesOnlyWhatHappened) {
    const std::string table =
        "stream packets frames   lost  dup reord   SID silence/s duration/s jitter/ms gap/ms mal"
        "formed\n"
        "     1     100     98      2    1     4     5      3.00       6.00      1.25  1e+12   "
        "      6\n"
        "     2       1      1      0    0     0     0      0.00       0.03      0.00    0.0   "
        "      0\n"
        "\n"
        "     1 192.0.2.1:4000 > 192.0.2.2:5004 ssrc 0x00000001, payload type 4 (static), SRTP AE"
        "S_CM_128_HMAC_SHA1_80 (key from SDP), 2 failed authentication, 1 replayed, 3 pack"
        "ets lost, 2 segments, 7 frames at 5.3 kbit/s concealed, 8 invalid frames concealed, 9 f"
        "rames dropped beyond the time the packets took\n"
        "       -> /tmp/first.wav\n"
        "     2 \"quoted\"\tname, payload type 96 (SDP), SRTP: no key, not decoded\n"
        "\n"
        "packets read             120\n"
        "not UDP                  3\n";
    EXPECT_EQ(format_report_table(two_streams()), table);
    stream_report empty;
    EXPECT_EQ(format_report_table(empty), "no G.723.1 stream found\n");
    empty.counts = {{"packets read", 0}};
    EXPECT_EQ(format_report_table(empty), "no G.723.1 stream found\n\npackets read             0\n");
}

TEST(stream_report, JsonNumbersRowsFromOneAndQuotesNames) {
    const std::string json =
        "{\"streams\": [\n"
        "  {\"stream\": 1, \"name\": \"192.0.2.1:4000 > 192.0.2.2:5004 ssrc 0x00000001\", \"payl"
        "oad_type\": 4, \"payload_type_source\": \"static\", \"output\": \"/tmp/first.wav\", \"p"
        "ackets\": 100, \"frames\": 98, \"lost_packets\": 3, \"lost_frames\": 2, \"duplicated\":"
        " 1, \"reordered\": 4, \"sid_frames\": 5, \"untransmitted_frames\": 100, \"silence_secon"
        "ds\": 3.00, \"duration_seconds\": 6.00, \"jitter_ms\": 1.25, \"largest_gap_ms\": 100000"
        "0000000.0, \"malformed\": 6, \"not_supported_frames\": 7, \"invalid_frames\": 8, \"segm"
        "ents\": 2, \"beyond_time_frames\": 9, \"encrypted\": true, \"srtp_suite\": \"AES_CM_12"
        "8_HMAC_SHA1_80\", \"key_source\": \"SDP\", \"authentication_failures\": 2, \"replayed\": 1},\n"
        "  {\"stream\": 2, \"name\": \"\\\"quoted\\\"\\u0009name\", \"payload_type\": 96, \"payl"
        "oad_type_source\": \"SDP\", \"output\": null, \"packets\": 1, \"frames\": 1, \"lost_pac"
        "kets\": 0, \"lost_frames\": 0, \"duplicated\": 0, \"reordered\": 0, \"sid_frames\": 0,"
        " \"untransmitted_frames\": 0, \"silence_seconds\": 0.00, \"duration_seconds\": 0.03, \""
        "jitter_ms\": 0.00, \"largest_gap_ms\": 0.0, \"malformed\": 0, \"not_supported_frames\":"
        " 0, \"invalid_frames\": 0, \"segments\": 1, \"beyond_time_frames\": 0, \"encrypted\": t"
        "rue, \"srtp_suite\": null, \"key_source\": null, \"authentication_failures\": 0, \"replayed\": 0}\n"
        " ],\n"
        " \"counts\": {\"packets read\": 120, \"not UDP\": 3}}\n";
    EXPECT_EQ(format_report_json(two_streams()), json);
    EXPECT_EQ(format_report_json(stream_report{}), "{\"streams\": [],\n \"counts\": {}}\n");
}

}  // namespace
}  // namespace g723::rtp
