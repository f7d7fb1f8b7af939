// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/sdp/sip_message.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace g723::rtp::sdp {

namespace {

std::string lower(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// The next line without its CR LF or LF; `text` moves past it.
std::string_view next_line(std::string_view& text) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

bool is_token(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '-' || c == '.' || c == '!' || c == '%' || c == '*' ||
               c == '_' || c == '+' || c == '`' || c == '\'' || c == '~';
    });
}

}  // namespace

std::optional<sip_message> parse_sip_message(std::string_view text) {
    sip_message message;
    const std::string_view start = next_line(text);
    constexpr std::string_view version = "SIP/2.0";
    if (start.starts_with(version) && start.size() > version.size() + 4 &&
        start[version.size()] == ' ') {
        const std::string_view code = start.substr(version.size() + 1, 3);
        if (std::from_chars(code.data(), code.data() + 3, message.status).ptr != code.data() + 3 ||
            message.status < 100 || message.status > 699) {
            return std::nullopt;
        }
    } else {
        // "METHOD SP Request-URI SP SIP/2.0": exactly two spaces.
        const std::size_t space = start.find(' ');
        if (space == std::string_view::npos || !start.ends_with(" SIP/2.0") ||
            start.find(' ', space + 1) != start.size() - version.size() - 1) {
            return std::nullopt;
        }
        message.request = true;
        message.method = start.substr(0, space);
        if (!is_token(message.method)) return std::nullopt;
    }

    std::size_t content_length = std::string_view::npos;
    while (!text.empty()) {
        const std::string_view line = next_line(text);
        if (line.empty()) break;  // the blank line before the body
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string name = lower(trim(line.substr(0, colon)));
        const std::string_view value = trim(line.substr(colon + 1));
        if (name == "call-id" || name == "i") {
            message.call_id = value;
        } else if (name == "content-type" || name == "c") {
            message.content_type = lower(trim(value.substr(0, value.find(';'))));
        } else if (name == "content-length" || name == "l") {
            std::size_t length = 0;
            if (std::from_chars(value.data(), value.data() + value.size(), length).ec ==
                std::errc{}) {
                content_length = length;
            }
        } else if (name == "cseq" && !message.request) {
            const std::size_t space = value.find(' ');
            if (space != std::string_view::npos) message.method = trim(value.substr(space + 1));
        }
    }
    message.body = text.substr(0, std::min(content_length, text.size()));
    return message;
}

}  // namespace g723::rtp::sdp
