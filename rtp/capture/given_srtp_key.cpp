// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/capture/given_srtp_key.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace g723::rtp {

namespace {

std::string_view next_word(std::string_view& text) {
    text.remove_prefix(std::min(text.find_first_not_of(" \t"), text.size()));
    const std::size_t end = std::min(text.find_first_of(" \t"), text.size());
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    return word;
}

template <typename number>
std::optional<number> whole_number(std::string_view text, int base) {
    number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The stream part of a given key: an address, a port, both, or an SSRC.
void read_stream_part(std::string_view text, given_srtp_key& given) {
    const auto refuse = [&] {
        // Not said back: a key put first must not be printed.
        throw srtp::srtp_key_error("an SRTP key's first word names no stream: give ADDRESS, ADDRESS:PORT, [IPv6]:PORT, :PORT or an SSRC "
                                   "as 0x and hexadecimal digits, then SUITE inline:KEY");
    };
    if (text.starts_with("0x") || text.starts_with("0X")) {
        if (text.size() > 10) refuse();
        given.ssrc = whole_number<std::uint32_t>(text.substr(2), 16);
        if (!given.ssrc) refuse();
        return;
    }
    std::string_view address = text;
    std::string_view port;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) refuse();
        address = text.substr(1, close - 1);
        const std::string_view after = text.substr(close + 1);
        if (!after.empty()) {
            if (!after.starts_with(':')) refuse();
            port = after.substr(1);
            if (port.empty()) refuse();
        }
    } else if (std::count(text.begin(), text.end(), ':') == 1) {
        const std::size_t colon = text.find(':');
        address = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (port.empty()) refuse();
    }
    if (!port.empty()) {
        given.port = whole_number<std::uint16_t>(port, 10);
        if (!given.port || *given.port == 0) refuse();
    }
    if (!address.empty()) {
        given.address = capture::parse_ip_address(std::string(address));
        if (!given.address) refuse();
    }
    if (!given.address && !given.port) refuse();
}

}  // namespace

given_srtp_key parse_given_srtp_key(std::string_view text) {
    given_srtp_key given;
    const std::string_view stream = next_word(text);
    if (stream.empty()) throw srtp::srtp_key_error("an SRTP key is 'STREAM SUITE inline:KEY', and this one is empty");
    if (stream.starts_with("inline:") || stream.starts_with("AES") || stream.starts_with("AEAD")) {
        throw srtp::srtp_key_error("an SRTP key is 'STREAM SUITE inline:KEY': the stream is missing");
    }
    read_stream_part(stream, given);
    given.key = srtp::parse_srtp_key(text);
    return given;
}

std::vector<given_srtp_key> parse_srtp_key_file(std::string_view text) {
    std::vector<given_srtp_key> keys;
    for (const srtp::key_file_line& line : srtp::key_file_lines(text)) {
        try {
            keys.push_back(parse_given_srtp_key(line.text));
        } catch (const srtp::srtp_key_error& error) {
            throw srtp::srtp_key_error("line " + std::to_string(line.number) + ": " + error.what());
        }
    }
    return keys;
}

}  // namespace g723::rtp
