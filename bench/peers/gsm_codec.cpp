// SPDX-License-Identifier: BSD-2-Clause
// GSM full rate (libgsm): 13 kbit/s RPE-LTP.
#include <gsm.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "heap_counter.h"
#include "speech_codec.h"

namespace g723::bench {

namespace {

constexpr int frame_length = 160;  // 20 ms
constexpr std::size_t frame_bytes = sizeof(gsm_frame);

// One libgsm instance; the same kind of state serves encoding or decoding.
class gsm_instance {
public:
    gsm_instance() {
        {
            heap_count count;
            state_ = gsm_create();
            size_ = {count.bytes(), "heap"};
        }
        if (state_ == nullptr) throw std::runtime_error("GSM: gsm_create failed");
    }
    ~gsm_instance() { gsm_destroy(state_); }
    gsm_instance(const gsm_instance&) = delete;
    gsm_instance& operator=(const gsm_instance&) = delete;

    gsm get() const { return state_; }
    const state_size& size() const { return size_; }

private:
    gsm state_ = nullptr;
    state_size size_;
};

class gsm_frame_encoder final : public frame_encoder {
public:
    std::size_t encode(std::span<const std::int16_t> frame, std::span<std::uint8_t> out) override {
        // The calls take mutable pointers; they get copies so that the shared
        // signal stays untouched whatever they do.
        std::copy(frame.begin(), frame.end(), input_);
        gsm_encode(instance_.get(), input_, out.data());
        return frame_bytes;
    }
    state_size state() const override { return instance_.size(); }

private:
    gsm_instance instance_;
    gsm_signal input_[frame_length]{};
};

class gsm_frame_decoder final : public frame_decoder {
public:
    void decode(std::span<const std::uint8_t> frame, std::span<std::int16_t> out) override {
        std::copy(frame.begin(), frame.end(), input_);
        if (gsm_decode(instance_.get(), input_, out.data()) != 0) {
            throw std::runtime_error("GSM: gsm_decode refused a frame");
        }
    }
    state_size state() const override { return instance_.size(); }

private:
    gsm_instance instance_;
    gsm_frame input_{};
};

class gsm_speech_codec final : public speech_codec {
public:
    std::string name() const override { return "GSM-FR"; }
    std::string settings() const override {
        // Options the library was built without read back as -1.
        const gsm_instance instance;
        const int fast = gsm_option(instance.get(), GSM_OPT_FAST, nullptr);
        const int ltp_cut = gsm_option(instance.get(), GSM_OPT_LTP_CUT, nullptr);
        return "libgsm " + std::to_string(GSM_MAJOR) + "." + std::to_string(GSM_MINOR) + "." +
               std::to_string(GSM_PATCHLEVEL) + ", 13 kbit/s full rate in 33-byte frames, fast mode " +
               (fast > 0 ? "on" : fast == 0 ? "off" : "not built in") + ", LTP cut " +
               (ltp_cut > 0 ? "on" : ltp_cut == 0 ? "off" : "not built in") + " (library defaults)";
    }
    std::size_t frame_samples() const override { return frame_length; }
    std::size_t slot_bytes() const override { return frame_bytes; }
    std::unique_ptr<frame_encoder> open_encoder() const override {
        return std::make_unique<gsm_frame_encoder>();
    }
    std::unique_ptr<frame_decoder> open_decoder() const override {
        return std::make_unique<gsm_frame_decoder>();
    }
};

}  // namespace

std::unique_ptr<speech_codec> make_gsm_codec() { return std::make_unique<gsm_speech_codec>(); }

}  // namespace g723::bench
