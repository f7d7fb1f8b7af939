// SPDX-License-Identifier: BSD-2-Clause
// Speex in narrowband mode at 8 kHz, 20 ms frames.
#include <speex/speex.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "heap_counter.h"
#include "speech_codec.h"

namespace g723::bench {

namespace {

constexpr int frame_length = 160;  // 20 ms
constexpr std::size_t frame_bytes = 200;

const char* on_off(int value) { return value != 0 ? "on" : "off"; }

class speex_frame_encoder final : public frame_encoder {
public:
    explicit speex_frame_encoder(int bit_rate) {
        {
            heap_count count;
            encoder_ = speex_encoder_init(speex_lib_get_mode(SPEEX_MODEID_NB));
            state_ = {count.bytes(), "heap"};
        }
        if (encoder_ == nullptr) throw std::runtime_error("speex: speex_encoder_init failed");
        // The highest quality whose rate does not exceed the one asked.
        spx_int32_t rate = bit_rate;
        speex_encoder_ctl(encoder_, SPEEX_SET_BITRATE, &rate);
        speex_bits_init(&bits_);
    }
    ~speex_frame_encoder() override {
        speex_bits_destroy(&bits_);
        speex_encoder_destroy(encoder_);
    }
    speex_frame_encoder(const speex_frame_encoder&) = delete;
    speex_frame_encoder& operator=(const speex_frame_encoder&) = delete;

    std::size_t encode(std::span<const std::int16_t> frame, std::span<std::uint8_t> out) override {
        // The call takes a mutable pointer; it gets a copy so that the shared
        // signal stays untouched whatever it does.
        std::copy(frame.begin(), frame.end(), input_);
        speex_bits_reset(&bits_);
        speex_encode_int(encoder_, input_, &bits_);
        return static_cast<std::size_t>(
            speex_bits_write(&bits_, reinterpret_cast<char*>(out.data()), static_cast<int>(out.size())));
    }
    state_size state() const override { return state_; }

    int get(int request) const {
        spx_int32_t value = 0;
        speex_encoder_ctl(encoder_, request, &value);
        return value;
    }

private:
    void* encoder_ = nullptr;
    SpeexBits bits_{};
    spx_int16_t input_[frame_length]{};
    state_size state_;
};

class speex_frame_decoder final : public frame_decoder {
public:
    speex_frame_decoder() {
        {
            heap_count count;
            decoder_ = speex_decoder_init(speex_lib_get_mode(SPEEX_MODEID_NB));
            state_ = {count.bytes(), "heap"};
        }
        if (decoder_ == nullptr) throw std::runtime_error("speex: speex_decoder_init failed");
        speex_bits_init(&bits_);
    }
    ~speex_frame_decoder() override {
        speex_bits_destroy(&bits_);
        speex_decoder_destroy(decoder_);
    }
    speex_frame_decoder(const speex_frame_decoder&) = delete;
    speex_frame_decoder& operator=(const speex_frame_decoder&) = delete;

    void decode(std::span<const std::uint8_t> frame, std::span<std::int16_t> out) override {
        speex_bits_read_from(&bits_, reinterpret_cast<const char*>(frame.data()),
                             static_cast<int>(frame.size()));
        if (speex_decode_int(decoder_, &bits_, out.data()) != 0) {
            throw std::runtime_error("speex: speex_decode_int failed");
        }
    }
    state_size state() const override { return state_; }

    int get(int request) const {
        spx_int32_t value = 0;
        speex_decoder_ctl(decoder_, request, &value);
        return value;
    }

private:
    void* decoder_ = nullptr;
    SpeexBits bits_{};
    state_size state_;
};

class speex_speech_codec final : public speech_codec {
public:
    explicit speex_speech_codec(int bit_rate) : bit_rate_(bit_rate) {}

    std::string name() const override { return "Speex NB " + std::to_string(bit_rate_ / 1000) + "k"; }
    std::string settings() const override {
        // The settings the library actually runs with, read back.
        const speex_frame_encoder encoder(bit_rate_);
        const speex_frame_decoder decoder;
        const char* version = "";
        speex_lib_ctl(SPEEX_LIB_GET_VERSION_STRING, &version);
        return std::string("Speex ") + version + ", narrowband, SPEEX_SET_BITRATE " +
               std::to_string(bit_rate_) + " selects sub-mode " + std::to_string(encoder.get(SPEEX_GET_MODE)) +
               " at " + std::to_string(encoder.get(SPEEX_GET_BITRATE)) + " bit/s; complexity " +
               std::to_string(encoder.get(SPEEX_GET_COMPLEXITY)) + ", VBR " + on_off(encoder.get(SPEEX_GET_VBR)) +
               ", VAD " + on_off(encoder.get(SPEEX_GET_VAD)) + ", DTX " + on_off(encoder.get(SPEEX_GET_DTX)) +
               ", decoder enhancement " + on_off(decoder.get(SPEEX_GET_ENH)) +
               " (library defaults); each frame written alone";
    }
    std::size_t frame_samples() const override { return frame_length; }
    std::size_t slot_bytes() const override { return frame_bytes; }
    std::unique_ptr<frame_encoder> open_encoder() const override {
        return std::make_unique<speex_frame_encoder>(bit_rate_);
    }
    std::unique_ptr<frame_decoder> open_decoder() const override {
        return std::make_unique<speex_frame_decoder>();
    }

private:
    int bit_rate_;
};

}  // namespace

std::unique_ptr<speech_codec> make_speex_codec(int bit_rate) {
    return std::make_unique<speex_speech_codec>(bit_rate);
}

}  // namespace g723::bench
