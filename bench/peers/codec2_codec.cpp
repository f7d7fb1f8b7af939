// SPDX-License-Identifier: BSD-2-Clause
// Codec 2 at 3200 bit/s.
#include <codec2.h>

#include <algorithm>
#include <stdexcept>

#include "heap_counter.h"
#include "speech_codec.h"

namespace g723::bench {

namespace {

constexpr int frame_length = 160;   // 20 ms at 3200 bit/s
constexpr std::size_t frame_bytes = 8;

// One Codec 2 instance; the same state serves encoding or decoding.
class codec2_instance {
public:
    codec2_instance() {
        {
            heap_count count;
            state_ = codec2_create(CODEC2_MODE_3200);
            size_ = {count.bytes(), "heap"};
        }
        if (state_ == nullptr) throw std::runtime_error("Codec 2: codec2_create failed");
        if (codec2_samples_per_frame(state_) != frame_length ||
            codec2_bytes_per_frame(state_) != static_cast<int>(frame_bytes)) {
            codec2_destroy(state_);
            throw std::runtime_error("Codec 2: unexpected frame size at 3200 bit/s");
        }
    }
    ~codec2_instance() { codec2_destroy(state_); }
    codec2_instance(const codec2_instance&) = delete;
    codec2_instance& operator=(const codec2_instance&) = delete;

    CODEC2* get() const { return state_; }
    const state_size& size() const { return size_; }

private:
    CODEC2* state_ = nullptr;
    state_size size_;
};

class codec2_frame_encoder final : public frame_encoder {
public:
    std::size_t encode(std::span<const std::int16_t> frame, std::span<std::uint8_t> out) override {
        // The call takes a mutable pointer; it gets a copy so that the shared
        // signal stays untouched whatever it does.
        std::copy(frame.begin(), frame.end(), input_);
        codec2_encode(instance_.get(), out.data(), input_);
        return frame_bytes;
    }
    state_size state() const override { return instance_.size(); }

private:
    codec2_instance instance_;
    short input_[frame_length]{};
};

class codec2_frame_decoder final : public frame_decoder {
public:
    void decode(std::span<const std::uint8_t> frame, std::span<std::int16_t> out) override {
        codec2_decode(instance_.get(), out.data(), frame.data());
    }
    state_size state() const override { return instance_.size(); }

private:
    codec2_instance instance_;
};

class codec2_speech_codec final : public speech_codec {
public:
    std::string name() const override { return "Codec 2 3200"; }
    std::string settings() const override {
        return "libcodec2 " G723_PEER_CODEC2_VERSION ", CODEC2_MODE_3200, 20 ms frames of 8 bytes, "
               "default options";
    }
    std::size_t frame_samples() const override { return frame_length; }
    std::size_t slot_bytes() const override { return frame_bytes; }
    std::unique_ptr<frame_encoder> open_encoder() const override {
        return std::make_unique<codec2_frame_encoder>();
    }
    std::unique_ptr<frame_decoder> open_decoder() const override {
        return std::make_unique<codec2_frame_decoder>();
    }
};

}  // namespace

std::unique_ptr<speech_codec> make_codec2_codec() { return std::make_unique<codec2_speech_codec>(); }

}  // namespace g723::bench
