// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/srtp/srtp_key.h"

#include <string.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

namespace g723::rtp::srtp {

namespace {

constexpr std::array<suite_description, 8> suites{{
    {srtp_suite::aes_cm_128_hmac_sha1_80, "AES_CM_128_HMAC_SHA1_80", 16, 14},
    {srtp_suite::aes_cm_128_hmac_sha1_32, "AES_CM_128_HMAC_SHA1_32", 16, 14},
    {srtp_suite::aes_192_cm_hmac_sha1_80, "AES_192_CM_HMAC_SHA1_80", 24, 14},
    {srtp_suite::aes_192_cm_hmac_sha1_32, "AES_192_CM_HMAC_SHA1_32", 24, 14},
    {srtp_suite::aes_256_cm_hmac_sha1_80, "AES_256_CM_HMAC_SHA1_80", 32, 14},
    {srtp_suite::aes_256_cm_hmac_sha1_32, "AES_256_CM_HMAC_SHA1_32", 32, 14},
    {srtp_suite::aead_aes_128_gcm, "AEAD_AES_128_GCM", 16, 12},
    {srtp_suite::aead_aes_256_gcm, "AEAD_AES_256_GCM", 32, 12},
}};

// The value of one base64 character (RFC 4648, the standard alphabet),
// or -1.
int base64_value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// SDES keys are base64 with or without '=' padding; anything else, or bits
// left over that are not zero, is not a key.
std::optional<std::vector<std::uint8_t>> decode_base64(std::string_view text) {
    while (!text.empty() && text.back() == '=') text.remove_suffix(1);
    if (text.size() % 4 == 1) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() * 3 / 4);
    std::uint32_t bits = 0;
    int held = 0;
    for (const char c : text) {
        const int value = base64_value(c);
        if (value < 0) {
            std::fill(bytes.begin(), bytes.end(), 0);
            return std::nullopt;
        }
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        held += 6;
        if (held >= 8) {
            held -= 8;
            bytes.push_back(static_cast<std::uint8_t>(bits >> held));
        }
    }
    const bool clean = (bits & ((1u << held) - 1)) == 0;
    bits = 0;
    if (!clean) {
        std::fill(bytes.begin(), bytes.end(), 0);
        return std::nullopt;
    }
    return bytes;
}

const suite_description& find_suite(std::string_view name) {
    for (const suite_description& suite : suites) {
        if (suite.name == name) return suite;
    }
    // Say the name back only when it looks like one: a key given where the
    // suite belongs must not be printed.
    const bool name_like = !name.empty() && name.size() <= 32 &&
                           std::all_of(name.begin(), name.end(), [](char c) {
                               return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
                           });
    throw srtp_key_error((name_like ? "unknown SRTP suite '" + std::string(name) + "'"
                                    : std::string("unknown SRTP suite")) +
                         " (known: " + suite_names() + ")");
}

// "1:4": the identifier's value and its length in bytes (1 to 128 by RFC
// 4568; libsrtp keeps at most 128).
key_bytes parse_mki(std::string_view text) {
    const std::size_t colon = text.find(':');
    unsigned long long value = 0;
    unsigned length = 0;
    const std::string_view value_text = text.substr(0, colon);
    const std::string_view length_text =
        colon == std::string_view::npos ? std::string_view{} : text.substr(colon + 1);
    const auto [value_end, value_error] =
        std::from_chars(value_text.data(), value_text.data() + value_text.size(), value);
    const auto [length_end, length_error] =
        std::from_chars(length_text.data(), length_text.data() + length_text.size(), length);
    if (value_text.empty() || value_error != std::errc{} ||
        value_end != value_text.data() + value_text.size() || length_error != std::errc{} ||
        length_end != length_text.data() + length_text.size() || length < 1 || length > 128 ||
        (length < 8 && value >> (8 * length) != 0)) {
        throw srtp_key_error("the key's master key identifier is not VALUE:LENGTH, LENGTH 1 to 128");
    }
    std::vector<std::uint8_t> bytes(length, 0);
    for (unsigned i = 0; i < length && i < 8; ++i) {
        bytes[length - 1 - i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    return key_bytes(std::move(bytes));
}

// "2^20" or "1048576".
bool lifetime_like(std::string_view text) {
    if (text.starts_with("2^")) text.remove_prefix(2);
    return !text.empty() && text.size() <= 20 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

master_key parse_key_param(const suite_description& suite, std::string_view param) {
    constexpr std::string_view method = "inline:";
    if (!param.starts_with(method)) {
        throw srtp_key_error("SRTP key parameters must start with 'inline:'");
    }
    param.remove_prefix(method.size());
    const std::size_t bar = param.find('|');
    const std::string_view encoded = param.substr(0, bar);
    master_key key;
    std::optional<std::vector<std::uint8_t>> decoded = decode_base64(encoded);
    if (!decoded) throw srtp_key_error("the SRTP key is not base64");
    const std::size_t wanted = suite.key_bytes + suite.salt_bytes;
    const std::size_t got = decoded->size();
    key.key_and_salt = key_bytes(std::move(*decoded));
    if (got != wanted) {
        throw srtp_key_error(std::string(suite.name) + " needs a key of " + std::to_string(wanted) +
                             " bytes (" + std::to_string(suite.key_bytes) + " of master key, " +
                             std::to_string(suite.salt_bytes) + " of salt: " +
                             std::to_string((wanted * 4 + 2) / 3) +
                             " base64 characters); this one has " + std::to_string(got));
    }
    // Then an optional lifetime and an optional identifier, in that order.
    std::string_view rest = bar == std::string_view::npos ? std::string_view{} : param.substr(bar + 1);
    bool lifetime_seen = false;
    while (bar != std::string_view::npos) {
        const std::size_t next = rest.find('|');
        const std::string_view field = rest.substr(0, next);
        if (field.find(':') != std::string_view::npos) {
            key.mki = parse_mki(field);
            if (next != std::string_view::npos) throw srtp_key_error("the SRTP key has fields after its identifier");
            break;
        }
        if (lifetime_seen || !lifetime_like(field)) {
            throw srtp_key_error("the SRTP key's lifetime is not a number or 2^N");
        }
        lifetime_seen = true;
        if (next == std::string_view::npos) break;
        rest.remove_prefix(next + 1);
    }
    return key;
}

}  // namespace

key_bytes& key_bytes::operator=(key_bytes other) noexcept {
    std::swap(bytes_, other.bytes_);
    return *this;
}

key_bytes::~key_bytes() {
    if (!bytes_.empty()) explicit_bzero(bytes_.data(), bytes_.size());
}

std::span<const suite_description> srtp_suites() { return suites; }

const suite_description& describe(srtp_suite suite) {
    return suites[static_cast<std::size_t>(suite)];
}

std::string suite_names() {
    std::string names;
    for (const suite_description& suite : suites) {
        if (!names.empty()) names += ", ";
        names += suite.name;
    }
    return names;
}

srtp_key parse_srtp_key(std::string_view suite_name, std::string_view key_params) {
    const suite_description& suite = find_suite(suite_name);
    srtp_key key;
    key.suite = suite.suite;
    // libsrtp keeps up to 16 master keys per session.
    constexpr std::size_t most_keys = 16;
    while (!key_params.empty()) {
        const std::size_t semicolon = key_params.find(';');
        if (key.keys.size() == most_keys) throw srtp_key_error("more than 16 SRTP master keys");
        key.keys.push_back(parse_key_param(suite, key_params.substr(0, semicolon)));
        key_params.remove_prefix(semicolon == std::string_view::npos ? key_params.size() : semicolon + 1);
    }
    if (key.keys.empty()) throw srtp_key_error("no SRTP key given");
    if (key.keys.size() > 1) {
        const std::size_t mki_size = key.keys.front().mki.size();
        for (const master_key& master : key.keys) {
            if (master.mki.size() == 0 || master.mki.size() != mki_size) {
                throw srtp_key_error("several SRTP keys need identifiers of one length");
            }
        }
    }
    return key;
}

srtp_key parse_srtp_key(std::string_view text) {
    const std::size_t start = std::min(text.find_first_not_of(" \t"), text.size());
    text.remove_prefix(start);
    const std::size_t space = std::min(text.find_first_of(" \t"), text.size());
    const std::string_view suite = text.substr(0, space);
    text.remove_prefix(space);
    text.remove_prefix(std::min(text.find_first_not_of(" \t"), text.size()));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    if (text.find_first_of(" \t") != std::string_view::npos) {
        throw srtp_key_error("an SRTP key is 'SUITE inline:KEY', with nothing after the key");
    }
    if (suite.starts_with("inline:")) throw srtp_key_error("an SRTP key is 'SUITE inline:KEY': the suite is missing");
    return parse_srtp_key(suite, text);
}

std::vector<key_file_line> key_file_lines(std::string_view text) {
    std::vector<key_file_line> lines;
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++number;
        line.remove_prefix(std::min(line.find_first_not_of(" \t\r"), line.size()));
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) line.remove_suffix(1);
        if (!line.empty() && !line.starts_with('#')) lines.push_back({number, line});
    }
    return lines;
}

}  // namespace g723::rtp::srtp
