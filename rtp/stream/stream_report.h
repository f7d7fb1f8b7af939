// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_STREAM_STREAM_REPORT_H
#define G723_RTP_STREAM_STREAM_REPORT_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "rtp/stream/stream_statistics.h"

namespace g723::rtp {

// Whether a stream came encrypted (SRTP), and what became of it.
struct stream_encryption {
    bool encrypted = false;
    std::string suite;       // "AES_CM_128_HMAC_SHA1_80"; empty without a key
    std::string key_source;  // "SDP" or "given"; empty without a key ("no key")
    std::uint64_t authentication_failures = 0;  // dropped, never decoded
    std::uint64_t replayed = 0;                 // already taken, dropped
};

// One stream as the report shows it. The caller names it (addresses, ports,
// SSRC) and says where its payload type came from ("static", "--pt",
// "SDP"); the report knows nothing of where the packets came from.
struct stream_report_row {
    std::string name;
    unsigned payload_type = 0;
    std::string payload_type_source;
    std::string output;  // the file written, empty when none
    stream_statistics statistics;
    stream_encryption encryption;
};

struct stream_report {
    std::vector<stream_report_row> streams;
    // Counts about the input as a whole, in the order given, e.g.
    // {"packets read", 1200}, {"not UDP", 3}.
    std::vector<std::pair<std::string, std::uint64_t>> counts;
};

// A table with one line per stream (numbered from 1), then each stream's
// name, payload type and output, then the counts.
std::string format_report_table(const stream_report& report);

// The same as one JSON object: {"streams": [{...}], "counts": {...}}.
std::string format_report_json(const stream_report& report);

}  // namespace g723::rtp

#endif
