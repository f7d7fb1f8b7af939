// SPDX-License-Identifier: BSD-2-Clause
// g723 through its public C interface, as any host uses it.
#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>

#include "g723/g723.h"
#include "media/codec/frame_layout.h"
#include "heap_counter.h"
#include "speech_codec.h"

namespace g723::bench {

namespace {

// Bytes a frame carries: what the compact layout stores, except that an
// untransmitted frame sends nothing; its one byte only marks it in storage.
std::size_t transmitted_bytes_of(std::uint8_t first_byte) {
    const media::frame_kind kind = media::kind_of(first_byte);
    return kind == media::frame_kind::untransmitted ? 0 : media::meaningful_bytes(kind);
}

void check(g723_result result, const char* call) {
    if (result != g723_ok) {
        throw std::runtime_error(std::string("g723: ") + call + " failed with result " +
                                 std::to_string(static_cast<int>(result)));
    }
}

state_size heap_of(const heap_count& count) {
    return {count.bytes(), "heap"};
}

class g723_frame_encoder final : public frame_encoder {
public:
    explicit g723_frame_encoder(bool silence_compression) {
        heap_count count;
        check(g723_encoder_open(&encoder_), "g723_encoder_open");
        state_ = heap_of(count);
        const g723_result result = g723_encoder_set_vad_mode(encoder_, silence_compression ? 1 : 0, 1);
        if (result != g723_ok) g723_encoder_close(&encoder_);
        check(result, "g723_encoder_set_vad_mode");
    }
    ~g723_frame_encoder() override { g723_encoder_close(&encoder_); }
    g723_frame_encoder(const g723_frame_encoder&) = delete;
    g723_frame_encoder& operator=(const g723_frame_encoder&) = delete;

    std::size_t encode(std::span<const std::int16_t> frame, std::span<std::uint8_t> out) override {
        std::int32_t length = 0;
        g723_encode_frame(encoder_, frame.data(), out.data(), &length);
        return media::meaningful_bytes(media::kind_of(out[0]));
    }
    state_size state() const override { return state_; }

private:
    g723_encoder* encoder_ = nullptr;
    state_size state_;
};

class g723_frame_decoder final : public frame_decoder {
public:
    g723_frame_decoder() {
        heap_count count;
        check(g723_decoder_open(&decoder_), "g723_decoder_open");
        state_ = heap_of(count);
    }
    ~g723_frame_decoder() override { g723_decoder_close(&decoder_); }
    g723_frame_decoder(const g723_frame_decoder&) = delete;
    g723_frame_decoder& operator=(const g723_frame_decoder&) = delete;

    void decode(std::span<const std::uint8_t> frame, std::span<std::int16_t> out) override {
        // The decoder reads a whole 24-byte slot; a short frame's slot is
        // zero beyond its bytes.
        const std::uint8_t* slot = frame.data();
        if (frame.size() < G723_SLOT_BYTES) {
            slot_.fill(0);
            std::copy(frame.begin(), frame.end(), slot_.begin());
            slot = slot_.data();
        }
        std::int32_t count = 0;
        g723_decode_frame(decoder_, slot, out.data(), 0, &count);
    }
    state_size state() const override { return state_; }

private:
    g723_decoder* decoder_ = nullptr;
    state_size state_;
    std::array<std::uint8_t, G723_SLOT_BYTES> slot_{};
};

class g723_speech_codec final : public speech_codec {
public:
    explicit g723_speech_codec(bool silence_compression)
        : silence_compression_(silence_compression) {}

    std::string name() const override {
        return silence_compression_ ? "g723 6.3k, silence compression on"
                                    : "g723 6.3k, silence compression off";
    }
    std::string settings() const override {
        const char* version = "";
        g723_get_version(&version);
        return std::string("g723 ") + version +
               ", 6.3 kbit/s, high-pass filter and postfilter on (library defaults), " +
               (silence_compression_ ? "silence compression on with one SID frame per pause"
                                     : "silence compression off") +
               "; a speech frame sends 24 bytes, a SID frame 4, an untransmitted frame none";
    }
    std::size_t frame_samples() const override { return G723_FRAME_SAMPLES; }
    std::size_t slot_bytes() const override { return G723_SLOT_BYTES; }
    std::unique_ptr<frame_encoder> open_encoder() const override {
        return std::make_unique<g723_frame_encoder>(silence_compression_);
    }
    std::unique_ptr<frame_decoder> open_decoder() const override {
        return std::make_unique<g723_frame_decoder>();
    }
    std::size_t transmitted_bytes(std::span<const std::uint8_t> frame) const override {
        return transmitted_bytes_of(frame[0]);
    }

private:
    bool silence_compression_;
};

}  // namespace

std::unique_ptr<speech_codec> make_g723_codec(bool silence_compression) {
    return std::make_unique<g723_speech_codec>(silence_compression);
}

}  // namespace g723::bench
