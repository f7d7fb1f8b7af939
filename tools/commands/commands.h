// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TOOLS_COMMANDS_COMMANDS_H
#define G723_TOOLS_COMMANDS_COMMANDS_H

#include <span>

#include "io/tool_error.h"

namespace g723::tool {

// Each command takes the arguments after its name and returns the exit
// status; failures leave as tool_error.
exit_status run_encode(std::span<char* const> arguments);
exit_status run_decode(std::span<char* const> arguments);
exit_status run_roundtrip(std::span<char* const> arguments);
exit_status run_info(std::span<char* const> arguments);
exit_status run_pcap(std::span<char* const> arguments);
exit_status run_send(std::span<char* const> arguments);
exit_status run_receive(std::span<char* const> arguments);
exit_status run_relay(std::span<char* const> arguments);

}  // namespace g723::tool

#endif
