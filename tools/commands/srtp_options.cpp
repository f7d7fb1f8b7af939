// SPDX-License-Identifier: BSD-2-Clause
#include "commands/srtp_options.h"

#include <string>

#include "io/input_file.h"
#include "io/tool_error.h"

namespace g723::tool {

namespace {

// A key file is a few lines; anything much larger is not one.
constexpr std::size_t largest_key_file = 1 << 20;

std::string read_key_file(const std::string& name) {
    input_file file(name);
    std::vector<std::uint8_t> bytes = file.read_all();
    if (bytes.size() > largest_key_file) fail_data(name, "is too large for a key file");
    std::string text(bytes.begin(), bytes.end());
    std::fill(bytes.begin(), bytes.end(), 0);
    return text;
}

// Drops a copy of key text from memory.
void wipe(std::string& text) {
    std::fill(text.begin(), text.end(), '\0');
    text.clear();
}

}  // namespace

std::vector<rtp::given_srtp_key> read_capture_keys(std::string_view command, const parsed_arguments& arguments) {
    std::vector<rtp::given_srtp_key> keys;
    for (const std::string& text : arguments.values("srtp-key")) {
        try {
            keys.push_back(rtp::parse_given_srtp_key(text));
        } catch (const rtp::srtp::srtp_key_error& error) {
            fail_usage(std::string(command) + ": --srtp-key: " + error.what());
        }
    }
    if (arguments.has("srtp-key-file")) {
        const std::string& name = arguments.value("srtp-key-file");
        std::string text = read_key_file(name);
        try {
            for (rtp::given_srtp_key& key : rtp::parse_srtp_key_file(text)) keys.push_back(std::move(key));
        } catch (const rtp::srtp::srtp_key_error& error) {
            wipe(text);
            fail_data(name, error.what());
        }
        wipe(text);
    }
    return keys;
}

std::optional<rtp::srtp::srtp_key> read_live_key(std::string_view command, const parsed_arguments& arguments) {
    if (arguments.has("srtp") && arguments.has("srtp-key-file")) {
        fail_usage(std::string(command) + ": give the key with --srtp or --srtp-key-file, not both");
    }
    if (arguments.has("srtp")) {
        try {
            return rtp::srtp::parse_srtp_key(arguments.value("srtp"));
        } catch (const rtp::srtp::srtp_key_error& error) {
            fail_usage(std::string(command) + ": --srtp: " + error.what());
        }
    }
    if (!arguments.has("srtp-key-file")) return std::nullopt;
    const std::string& name = arguments.value("srtp-key-file");
    std::string text = read_key_file(name);
    const std::vector<rtp::srtp::key_file_line> lines = rtp::srtp::key_file_lines(text);
    if (!lines.empty()) {
        try {
            rtp::srtp::srtp_key key = rtp::srtp::parse_srtp_key(lines.front().text);
            wipe(text);
            return key;
        } catch (const rtp::srtp::srtp_key_error& error) {
            wipe(text);
            fail_data(name, "line " + std::to_string(lines.front().number) + ": " + error.what());
        }
    }
    wipe(text);
    fail_data(name, "holds no SRTP key (a line 'SUITE inline:KEY')");
}

}  // namespace g723::tool
