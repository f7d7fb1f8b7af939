// SPDX-License-Identifier: BSD-2-Clause
#include "capture_reading.h"

#include "rtp/stream/stream_report.h"

namespace g723::python {

capture_reading read_capture(const std::string& path, const std::vector<unsigned>& payload_types,
                             const std::vector<std::string>& srtp_keys, bool postfilter, bool pair_calls) {
    capture_reading reading;
    std::vector<rtp::given_srtp_key> keys;
    for (const std::string& key : srtp_keys) keys.push_back(rtp::parse_given_srtp_key(key));
    rtp::capture::capture_reader reader = rtp::open_capture_file(path);
    reading.contents = rtp::read_capture_contents(reader, payload_types, true, std::move(keys));

    rtp::stream_report report;
    std::uint64_t cut = 0;
    for (const rtp::g723_stream& stream : reading.contents.streams) {
        rtp::decoded_stream& decoded =
            reading.decoded.emplace_back(rtp::decode_g723_stream(stream, postfilter));
        if (decoded.cut) ++cut;
        report.streams.push_back({rtp::stream_name(stream.key), stream.payload_type,
                                  stream.payload_type_source, "", decoded.statistics, stream.encryption});
    }
    report.counts = rtp::capture_counts(reading.contents, cut);
    reading.report_json = rtp::format_report_json(report);
    reading.damage = rtp::damage_message(reading.contents);
    if (pair_calls) reading.calls = rtp::capture_calls(reading.contents);
    return reading;
}

}  // namespace g723::python
