// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_SRTP_SRTP_KEY_H
#define G723_RTP_SRTP_SRTP_KEY_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace g723::rtp::srtp {

// The SDES crypto suites (RFC 4568, 6188, 7714) that SRTP sessions take.
enum class srtp_suite {
    aes_cm_128_hmac_sha1_80,
    aes_cm_128_hmac_sha1_32,
    aes_192_cm_hmac_sha1_80,
    aes_192_cm_hmac_sha1_32,
    aes_256_cm_hmac_sha1_80,
    aes_256_cm_hmac_sha1_32,
    aead_aes_128_gcm,
    aead_aes_256_gcm,
};

struct suite_description {
    srtp_suite suite;
    std::string_view name;  // as SDP writes it
    std::size_t key_bytes;   // master key
    std::size_t salt_bytes;  // master salt
};

// Every suite, in the order above.
std::span<const suite_description> srtp_suites();
const suite_description& describe(srtp_suite suite);
// "AES_CM_128_HMAC_SHA1_80, AES_CM_128_HMAC_SHA1_32, ..." for messages.
std::string suite_names();

// Why a key cannot be used. The message never holds the key.
class srtp_key_error : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Bytes of keying material, wiped from memory when dropped.
class key_bytes {
public:
    key_bytes() = default;
    explicit key_bytes(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    key_bytes(const key_bytes&) = default;
    key_bytes(key_bytes&& other) noexcept : bytes_(std::move(other.bytes_)) {}
    key_bytes& operator=(key_bytes other) noexcept;
    ~key_bytes();

    std::span<const std::uint8_t> view() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }

private:
    std::vector<std::uint8_t> bytes_;
};

// One master key with its salt, and the master key identifier that packets
// carry when the key names one (empty when not).
struct master_key {
    key_bytes key_and_salt;
    key_bytes mki;
};

// What an SRTP session needs: the suite and its master keys (several only
// when each has an identifier).
struct srtp_key {
    srtp_suite suite = srtp_suite::aes_cm_128_hmac_sha1_80;
    std::vector<master_key> keys;
};

// Reads an SDES suite and key parameters, "AES_CM_128_HMAC_SHA1_80" and
// "inline:BASE64[|LIFETIME][|MKI:LENGTH]" (several joined by ';'). Throws
// srtp_key_error for an unknown suite, a key that is not base64 or of the
// wrong length for its suite, and a malformed lifetime or identifier.
srtp_key parse_srtp_key(std::string_view suite, std::string_view key_params);

// The same from one text, "SUITE inline:...", as a command line or key
// file gives it.
srtp_key parse_srtp_key(std::string_view text);

// The lines of a key file that hold keys: blank lines and lines starting
// with '#' passed over, each with its number from 1 and without the spaces
// around it.
struct key_file_line {
    std::size_t number = 0;
    std::string_view text;
};
std::vector<key_file_line> key_file_lines(std::string_view text);

}  // namespace g723::rtp::srtp

#endif
