// SPDX-License-Identifier: BSD-2-Clause
// Packet captures for the page: a pcap or pcapng capture held in memory,
// read through libpcap and the calls library as `g723 pcap` reads it, its
// G.723.1 streams decoded, with the tool's report. The page reads the
// results through the calls below and frees them with web_capture_free.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "rtp/capture/capture_session.h"
#include "rtp/stream/stream_report.h"

namespace {

struct capture_reading {
    std::vector<std::uint8_t> bytes;  // the capture, which the reader reads in place
    std::vector<std::string> names;
    std::vector<g723::rtp::decoded_stream> decoded;
    std::string report_table;
    std::string report_json;
    std::string damage;  // why the capture ends early, empty when whole
    std::string error;   // why it cannot be read at all
};

void read(capture_reading& reading, bool postfilter) {
    using namespace g723::rtp;
    capture_session session = capture_session::open_memory(reading.bytes, {{}, {}, postfilter, false});
    reading.decoded.resize(session.streams().size());
    session.run([&](std::shared_ptr<const capture_piece> piece) {
        for (const std::size_t i : piece->streams()) reading.decoded[i] = session.decode(*piece, i);
        return true;
    });
    for (const g723_stream& stream : session.streams()) reading.names.push_back(stream_name(stream.key));
    const stream_report report = session.report();
    reading.report_table = format_report_table(report);
    reading.report_json = format_report_json(report);
    reading.damage = session.damage();
}

}  // namespace

extern "C" {

// Takes a copy of the capture's bytes; never null.
EMSCRIPTEN_KEEPALIVE capture_reading* web_capture_read(const std::uint8_t* bytes, std::int32_t length,
                                                       std::int32_t postfilter) {
    auto* reading = new capture_reading;
    reading->bytes.assign(bytes, bytes + length);
    try {
        read(*reading, postfilter != 0);
    } catch (const std::exception& error) {
        reading->error = error.what();
        reading->decoded.clear();
        reading->names.clear();
    }
    return reading;
}

EMSCRIPTEN_KEEPALIVE void web_capture_free(capture_reading* reading) { delete reading; }

EMSCRIPTEN_KEEPALIVE const char* web_capture_error(const capture_reading* reading) {
    return reading->error.c_str();
}

EMSCRIPTEN_KEEPALIVE const char* web_capture_damage(const capture_reading* reading) {
    return reading->damage.c_str();
}

// The report as `g723 pcap` prints it, or with `json` as `g723 pcap --json`.
EMSCRIPTEN_KEEPALIVE const char* web_capture_report(const capture_reading* reading, std::int32_t json) {
    return json ? reading->report_json.c_str() : reading->report_table.c_str();
}

EMSCRIPTEN_KEEPALIVE std::int32_t web_capture_streams(const capture_reading* reading) {
    return static_cast<std::int32_t>(reading->decoded.size());
}

EMSCRIPTEN_KEEPALIVE const char* web_capture_stream_name(const capture_reading* reading, std::int32_t i) {
    return reading->names[static_cast<std::size_t>(i)].c_str();
}

// The stream's 8 kHz samples, and what each 240-sample frame of them is
// (speech, SID, untransmitted, lost, concealed).
EMSCRIPTEN_KEEPALIVE const std::int16_t* web_capture_samples(const capture_reading* reading, std::int32_t i) {
    return reading->decoded[static_cast<std::size_t>(i)].samples.data();
}

EMSCRIPTEN_KEEPALIVE std::int32_t web_capture_sample_count(const capture_reading* reading, std::int32_t i) {
    return static_cast<std::int32_t>(reading->decoded[static_cast<std::size_t>(i)].samples.size());
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* web_capture_frames(const capture_reading* reading, std::int32_t i) {
    return reinterpret_cast<const std::uint8_t*>(reading->decoded[static_cast<std::size_t>(i)].frames.data());
}

EMSCRIPTEN_KEEPALIVE std::int32_t web_capture_frame_count(const capture_reading* reading, std::int32_t i) {
    return static_cast<std::int32_t>(reading->decoded[static_cast<std::size_t>(i)].frames.size());
}

}  // extern "C"
