// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/sdp/session_description.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace g723::rtp::sdp {

namespace {

std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> result;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
        const std::size_t end = std::min(text.find_first_of(" \t", at), text.size());
        if (end > at) result.push_back(text.substr(at, end - at));
        at = end;
    }
    return result;
}

template <typename number>
std::optional<number> parse_number(std::string_view text) {
    number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

media_format& format_of(media_description& media, unsigned payload_type) {
    for (media_format& format : media.formats) {
        if (format.payload_type == payload_type) return format;
    }
    media_format& format = media.formats.emplace_back();
    format.payload_type = payload_type;
    return format;
}

// "a=rtpmap:96 G723/8000", "a=fmtp:4 annexa=no" or an SDES "a=crypto:1 ...".
void read_attribute(std::string_view value, media_description& media) {
    const std::size_t colon = value.find(':');
    if (colon == std::string_view::npos) return;
    const std::string_view name = value.substr(0, colon);
    const std::string_view rest = value.substr(colon + 1);
    if (name == "crypto") {
        // A body may offer a few suites; a flood of lines is not kept.
        constexpr std::size_t most_offered = 16;
        auto crypto = parse_crypto_attribute(rest);
        if (crypto && media.crypto.size() < most_offered) media.crypto.push_back(std::move(*crypto));
        return;
    }
    const std::size_t space = rest.find(' ');
    if (space == std::string_view::npos) return;
    const auto payload_type = parse_number<unsigned>(rest.substr(0, space));
    if (!payload_type || *payload_type > 127) return;
    const std::string_view text = rest.substr(space + 1);
    if (name == "rtpmap") {
        const auto parts = words(text);
        if (parts.empty()) return;
        const std::string_view encoding = parts[0];
        const std::size_t slash = encoding.find('/');
        media_format& format = format_of(media, *payload_type);
        format.encoding = encoding.substr(0, slash);
        if (slash != std::string_view::npos) {
            const std::string_view rate = encoding.substr(slash + 1);
            format.clock_rate = parse_number<unsigned>(rate.substr(0, rate.find('/'))).value_or(0);
        }
    } else if (name == "fmtp") {
        format_of(media, *payload_type).parameters = text;
    }
}

// The address of "c=IN IP4 192.0.2.10" (a multicast "/ttl" dropped).
std::string connection_address(std::string_view value) {
    const auto parts = words(value);
    if (parts.size() < 3 || parts[0] != "IN") return "";
    return std::string(parts[2].substr(0, parts[2].find('/')));
}

std::optional<bool> annex_a_of(std::string_view parameters) {
    std::size_t at = 0;
    while (at <= parameters.size()) {
        const std::size_t end = std::min(parameters.find(';', at), parameters.size());
        const auto parts = words(parameters.substr(at, end - at));
        if (!parts.empty()) {
            const std::string_view item = parts[0];
            const std::size_t equals = item.find('=');
            if (equals != std::string_view::npos &&
                equal_ignoring_case(item.substr(0, equals), "annexa")) {
                const std::string_view value = item.substr(equals + 1);
                if (equal_ignoring_case(value, "yes")) return true;
                if (equal_ignoring_case(value, "no")) return false;
            }
        }
        at = end + 1;
    }
    return std::nullopt;
}

}  // namespace

session_description parse_session_description(std::string_view body) {
    session_description session;
    std::string session_address;
    media_description* media = nullptr;
    while (!body.empty()) {
        const std::size_t end = body.find('\n');
        std::string_view line = body.substr(0, end);
        body.remove_prefix(end == std::string_view::npos ? body.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() < 2 || line[1] != '=') continue;
        const std::string_view value = line.substr(2);
        switch (line[0]) {
            case 'c':
                if (media != nullptr) {
                    media->address = connection_address(value);
                } else {
                    session_address = connection_address(value);
                }
                break;
            case 'm': {
                const auto parts = words(value);
                media = &session.media.emplace_back();
                media->address = session_address;
                if (parts.size() < 3) break;
                media->media = parts[0];
                // "49170" or "49170/2" (a port count).
                media->port =
                    parse_number<std::uint16_t>(parts[1].substr(0, parts[1].find('/'))).value_or(0);
                media->transport = parts[2];
                for (std::size_t i = 3; i < parts.size(); ++i) {
                    if (const auto type = parse_number<unsigned>(parts[i]); type && *type <= 127) {
                        media->payload_types.push_back(*type);
                    }
                }
                break;
            }
            case 'a':
                if (media != nullptr) read_attribute(value, *media);
                break;
            default: break;
        }
    }
    return session;
}

std::vector<g723_format> g723_formats(const media_description& media) {
    std::vector<g723_format> formats;
    if (media.media != "audio" || media.transport.find("RTP/") == std::string::npos) return formats;
    for (const unsigned type : media.payload_types) {
        const media_format* named = nullptr;
        for (const media_format& format : media.formats) {
            if (format.payload_type == type) named = &format;
        }
        const bool g723 =
            named != nullptr && !named->encoding.empty()
                ? equal_ignoring_case(named->encoding, "G723") && named->clock_rate == 8000
                : type == 4;
        if (!g723) continue;
        formats.push_back({type, named != nullptr ? annex_a_of(named->parameters) : std::nullopt});
    }
    return formats;
}

}  // namespace g723::rtp::sdp
