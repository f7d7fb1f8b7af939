// SPDX-License-Identifier: BSD-2-Clause
// The SRTP path of capture reading: a capture file held in memory, its SDP's
// a=crypto lines (or keys given for SSRC 0x11223344 and the sender at port
// 5004) deciding which streams are SRTP and with which key, every kept
// packet of such a stream authenticated and decrypted through libsrtp, read
// once and read twice. Checks: an SRTP stream without a key keeps no
// packet; no stream keeps more packets than it sent, nor counts more
// refused; the two readings keep the same packets with the same counts.
#include <cstdint>
#include <optional>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "rtp/capture/capture_analysis.h"
#include "rtp/capture/capture_reader.h"
#include "rtp/capture/link_layer.h"

namespace {

using namespace g723::rtp;

std::vector<given_srtp_key> given_keys() {
    return {parse_given_srtp_key("0x11223344 AES_CM_128_HMAC_SHA1_80 inline:UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ"),
            parse_given_srtp_key(":5004 AEAD_AES_128_GCM inline:TDfpCqnP0ZOmsDyfRNbp5KRiA4WidhYZNqfqrQ==")};
}

bool same(const captured_rtp_packet& a, const captured_rtp_packet& b) {
    return a.arrival_seconds == b.arrival_seconds && a.sequence == b.sequence && a.timestamp == b.timestamp &&
           a.marker == b.marker && a.payload_type == b.payload_type && a.payload == b.payload;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The capture alone on the heap, so that a read beyond it is caught.
    const std::vector<std::uint8_t> bytes(data, data + size);
    std::optional<capture::capture_reader> once, first, second;
    try {
        once.emplace(capture::capture_reader::open_memory(bytes));
        first.emplace(capture::capture_reader::open_memory(bytes));
        second.emplace(capture::capture_reader::open_memory(bytes));
    } catch (const capture::capture_error&) {
        return 0;
    }
    if (!capture::is_supported_link_type(once->link_type())) return 0;
    const capture_contents kept = read_capture_contents(*once, {}, true, given_keys());
    capture_contents found = read_capture_contents(*first, {}, false, given_keys());
    G723_FUZZ_CHECK(kept.streams.size() == found.streams.size());

    for (const g723_stream& stream : kept.streams) {
        const stream_encryption& e = stream.encryption;
        if (e.encrypted && e.key_source.empty()) G723_FUZZ_CHECK(stream.packets.empty());
        if (!e.encrypted) G723_FUZZ_CHECK(e.authentication_failures == 0 && e.replayed == 0);
        const auto tally = kept.scan.tallies.find(stream.key);
        G723_FUZZ_CHECK(tally != kept.scan.tallies.end());
        G723_FUZZ_CHECK(stream.packets.size() + e.authentication_failures + e.replayed <= tally->second.packets);
    }
    read_stream_packets(*second, found, {}, [&](std::size_t i, std::vector<captured_rtp_packet> packets) {
        G723_FUZZ_CHECK(i < kept.streams.size());
        const g723_stream& once_read = kept.streams[i];
        const g723_stream& twice_read = found.streams[i];
        G723_FUZZ_CHECK(twice_read.key == once_read.key);
        // SDP that comes after a stream's first packet keys it on the
        // second reading only: then the first reading kept nothing.
        if (once_read.encryption.encrypted == twice_read.encryption.encrypted &&
            once_read.encryption.key_source == twice_read.encryption.key_source) {
            G723_FUZZ_CHECK(packets.size() == once_read.packets.size());
            for (std::size_t p = 0; p < packets.size(); ++p) G723_FUZZ_CHECK(same(packets[p], once_read.packets[p]));
            G723_FUZZ_CHECK(twice_read.encryption.authentication_failures == once_read.encryption.authentication_failures);
            G723_FUZZ_CHECK(twice_read.encryption.replayed == once_read.encryption.replayed);
        } else {
            G723_FUZZ_CHECK(once_read.packets.empty());
        }
        return true;
    });
    return 0;
}
