// SPDX-License-Identifier: BSD-2-Clause
#include "capture_reading.h"

#include "rtp/capture/capture_session.h"

namespace g723::python {

capture_reading read_capture(const std::string& path, const std::vector<unsigned>& payload_types,
                             const std::vector<std::string>& srtp_keys, bool postfilter, bool pair_calls) {
    std::vector<rtp::given_srtp_key> keys;
    for (const std::string& key : srtp_keys) keys.push_back(rtp::parse_given_srtp_key(key));
    rtp::capture_session session =
        rtp::capture_session::open_file(path, {payload_types, std::move(keys), postfilter, pair_calls});
    capture_reading reading;
    reading.decoded.resize(session.streams().size());
    session.run([&](std::shared_ptr<const rtp::capture_piece> piece) {
        for (const std::size_t i : piece->streams()) reading.decoded[i] = session.decode(*piece, i);
        return true;
    });
    reading.streams = session.streams();
    for (rtp::g723_stream& stream : reading.streams) stream.packets = {};
    reading.report_json = rtp::format_report_json(session.report());
    reading.damage = session.damage();
    reading.calls = session.calls();
    return reading;
}

}  // namespace g723::python
