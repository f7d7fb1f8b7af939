// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_SDP_CRYPTO_ATTRIBUTE_H
#define G723_RTP_SDP_CRYPTO_ATTRIBUTE_H

#include <optional>
#include <string>
#include <string_view>

namespace g723::rtp::sdp {

// One SDES key offer of a media description (RFC 4568):
// "a=crypto:1 AES_CM_128_HMAC_SHA1_80 inline:KEY|2^20|1:4 [session params]".
// Each side lists the keys it sends with; the answer keeps the tag of the
// offer's line it accepted.
struct crypto_attribute {
    unsigned tag = 0;
    std::string suite;       // "AES_CM_128_HMAC_SHA1_80", as written
    std::string key_params;  // "inline:KEY|2^20|1:4"; several are joined by ';'
    std::string session_params;
};

// Reads the value after "crypto:"; nothing when the tag, suite or key
// parameters are missing. It does not look inside the key (see srtp_key).
std::optional<crypto_attribute> parse_crypto_attribute(std::string_view value);

// Whether an m= line's transport protects its media with SRTP:
// "RTP/SAVP", "RTP/SAVPF", and their DTLS forms "UDP/TLS/RTP/SAVP(F)".
bool secure_transport(std::string_view transport);

}  // namespace g723::rtp::sdp

#endif
