// SPDX-License-Identifier: BSD-2-Clause
// RTCP on arbitrary datagrams: the compound packet's parser, the receiver
// taking it beside a call and the sender taking it as a report back.
// Checks: a packet refused leaves the result unchanged; a packet accepted,
// written back from its parsed parts, parses to the same parts; nothing
// from a datagram that is not the source's report ends or changes a call.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "rtp/packet/rtcp_packet.h"
#include "rtp/packet/rtp_packet.h"
#include "rtp/stream/live_receiver.h"
#include "rtp/stream/sender_reporting.h"

namespace {

using namespace g723::rtp;

bool same_blocks(const std::vector<report_block>& a, const std::vector<report_block>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const report_block& x, const report_block& y) {
        return x.ssrc == y.ssrc && x.fraction_lost == y.fraction_lost && x.cumulative_lost == y.cumulative_lost &&
               x.highest_sequence == y.highest_sequence && x.jitter == y.jitter && x.last_sr == y.last_sr &&
               x.delay_since_last_sr == y.delay_since_last_sr;
    });
}

// Three packets of a source from 192.0.2.1:4000 with SSRC 7, heard.
void start_call(live_receiver& receiver) {
    std::vector<std::uint8_t> bytes(rtp_header_bytes + 24, 0);
    for (std::uint16_t n = 0; n < 3; ++n) {
        rtp_packet packet;
        packet.payload_type = 4;
        packet.ssrc = 7;
        packet.sequence = n;
        packet.timestamp = 240u * n;
        packet.payload = std::span(bytes).subspan(rtp_header_bytes);
        write_rtp_packet(packet, bytes);
        receiver.add(bytes, "192.0.2.1:4000", 0.03 * n);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The datagram alone on the heap, so that a read beyond it is caught.
    const std::vector<std::uint8_t> datagram(data, data + size);
    rtcp_compound compound;
    compound.ssrc = 0x1234;
    const rtcp_parse_result result = parse_rtcp_compound(datagram, compound);
    G723_FUZZ_CHECK(!describe(result).empty());
    if (result != rtcp_parse_result::ok) {
        G723_FUZZ_CHECK(compound.ssrc == 0x1234 && !compound.sender && compound.blocks.empty());
    } else {
        G723_FUZZ_CHECK(size >= 8 && (datagram[0] >> 6) == 2);
        G723_FUZZ_CHECK(datagram[1] == rtcp_sender_report || datagram[1] == rtcp_receiver_report);
        G723_FUZZ_CHECK(compound.blocks.size() <= 31 && compound.cname.size() <= 255);
        const std::vector<std::uint8_t> rewritten = write_rtcp_compound(compound);
        G723_FUZZ_CHECK(is_rtcp(rewritten) && rewritten.size() % 4 == 0);
        rtcp_compound again;
        G723_FUZZ_CHECK(parse_rtcp_compound(rewritten, again) == rtcp_parse_result::ok);
        G723_FUZZ_CHECK(again.ssrc == compound.ssrc && again.cname == compound.cname);
        G723_FUZZ_CHECK(again.sender.has_value() == compound.sender.has_value());
        if (again.sender) {
            G723_FUZZ_CHECK(again.sender->ntp_timestamp == compound.sender->ntp_timestamp &&
                            again.sender->rtp_timestamp == compound.sender->rtp_timestamp &&
                            again.sender->packet_count == compound.sender->packet_count &&
                            again.sender->octet_count == compound.sender->octet_count);
        }
        G723_FUZZ_CHECK(same_blocks(again.blocks, compound.blocks));
        G723_FUZZ_CHECK(again.bye.empty() == compound.bye.empty());
    }

    // Beside a call, from anywhere but the source's address: ignored.
    live_receiver receiver({}, [](const timeline_frame&, stream_statistics&) {});
    start_call(receiver);
    G723_FUZZ_CHECK(receiver.heard_anything());
    G723_FUZZ_CHECK(receiver.add_rtcp(datagram, "192.0.2.66:4001", 1.0) == rtcp_effect::none);
    const rtcp_effect effect = receiver.add_rtcp(datagram, "192.0.2.1:4001", 1.0);
    const bool own = result == rtcp_parse_result::ok && compound.ssrc == 7;
    G723_FUZZ_CHECK(own || effect == rtcp_effect::none);
    G723_FUZZ_CHECK(effect != rtcp_effect::goodbye ||
                    std::find(compound.bye.begin(), compound.bye.end(), 7u) != compound.bye.end());
    G723_FUZZ_CHECK(receiver.receiver_report(9, "fuzz", false, 2.0).has_value());

    sender_reporting sender(7, "fuzz");
    sender.hear(datagram);
    G723_FUZZ_CHECK(sender.reports_heard() <= 1);
    G723_FUZZ_CHECK(!sender.summary().empty());
    return 0;
}
