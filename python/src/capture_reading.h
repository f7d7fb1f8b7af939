// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_PYTHON_CAPTURE_READING_H
#define G723_PYTHON_CAPTURE_READING_H

#include <string>
#include <vector>

#include "rtp/capture/capture_analysis.h"

namespace g723::python {

// A capture read and decoded as `g723 pcap` reads it (a regular file twice,
// holding only the packets of the streams under way), without writing any
// file: the streams in the report's order, each decoded, the report as the
// tool prints it with --json, and the calls when asked for.
struct capture_reading {
    std::vector<rtp::g723_stream> streams;  // their packets are not kept
    std::vector<rtp::decoded_stream> decoded;  // one per stream
    std::string report_json;
    std::string damage;  // the tool's message after the file's name, empty when whole
    std::vector<rtp::call_directions> calls;
};

// Throws rtp::capture::capture_error, worded as the tool words it after
// the file's name, when the capture cannot be read at all, and
// rtp::srtp::srtp_key_error for a key of `srtp_keys` ("STREAM SUITE
// inline:KEY", as the tool's --srtp-key) that cannot be used.
capture_reading read_capture(const std::string& path, const std::vector<unsigned>& payload_types,
                             const std::vector<std::string>& srtp_keys, bool postfilter, bool pair_calls);

}  // namespace g723::python

#endif
