// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TOOLS_COMMANDS_SRTP_OPTIONS_H
#define G723_TOOLS_COMMANDS_SRTP_OPTIONS_H

#include <optional>
#include <string_view>
#include <vector>

#include "commands/command_line.h"
#include "rtp/capture/given_srtp_key.h"
#include "rtp/srtp/srtp_key.h"

namespace g723::tool {

// pcap's keys: every --srtp-key "STREAM SUITE inline:KEY", then the lines
// of --srtp-key-file. A key that cannot be used is a usage error on the
// command line and a data error in the file; neither message holds a key.
std::vector<rtp::given_srtp_key> read_capture_keys(std::string_view command, const parsed_arguments& arguments);

// send's and receive's key: --srtp "SUITE inline:KEY", or the first key
// line of --srtp-key-file; none when neither is given.
std::optional<rtp::srtp::srtp_key> read_live_key(std::string_view command, const parsed_arguments& arguments);

}  // namespace g723::tool

#endif
