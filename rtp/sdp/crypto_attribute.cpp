// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/sdp/crypto_attribute.h"

#include <charconv>

namespace g723::rtp::sdp {

namespace {

// The next word of `text` (spaces and tabs between), taken off its front.
std::string_view next_word(std::string_view& text) {
    const std::size_t start = std::min(text.find_first_not_of(" \t"), text.size());
    text.remove_prefix(start);
    const std::size_t end = std::min(text.find_first_of(" \t"), text.size());
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    return word;
}

}  // namespace

std::optional<crypto_attribute> parse_crypto_attribute(std::string_view value) {
    const std::string_view tag_text = next_word(value);
    crypto_attribute attribute;
    // The tag is a decimal of at most nine digits.
    const auto [end, error] =
        std::from_chars(tag_text.data(), tag_text.data() + tag_text.size(), attribute.tag);
    if (error != std::errc{} || end != tag_text.data() + tag_text.size() || tag_text.size() > 9) {
        return std::nullopt;
    }
    attribute.suite = next_word(value);
    attribute.key_params = next_word(value);
    if (attribute.suite.empty() || attribute.key_params.empty()) return std::nullopt;
    const std::size_t rest = std::min(value.find_first_not_of(" \t"), value.size());
    attribute.session_params = value.substr(rest);
    return attribute;
}

bool secure_transport(std::string_view transport) {
    return transport == "RTP/SAVP" || transport == "RTP/SAVPF" || transport == "UDP/TLS/RTP/SAVP" ||
           transport == "UDP/TLS/RTP/SAVPF";
}

}  // namespace g723::rtp::sdp
