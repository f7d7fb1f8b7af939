// SPDX-License-Identifier: BSD-2-Clause
#include "media/codec/frame_splitting.h"

#include <string_view>

namespace g723::media {

bool looks_like_audio_file(std::span<const std::uint8_t> head) {
    if (head.size() < 12) return false;
    const std::string_view tag(reinterpret_cast<const char*>(head.data()), 4);
    const std::string_view form(reinterpret_cast<const char*>(head.data()) + 8, 4);
    if (tag == "RIFF" || tag == "RIFX" || tag == "RF64") return form == "WAVE";
    if (tag == "FORM") return form == "AIFF" || form == "AIFC";
    return tag == "fLaC" || tag == "OggS" || tag == ".snd";
}

std::string truncation_reason(stream_layout layout, frame_kind kind, std::uint64_t offset,
                              std::size_t needed, std::size_t present, std::uint64_t whole_frames) {
    const std::string what =
        layout == stream_layout::slots ? std::string("24-byte slot") : std::string(kind_name(kind)) + " frame";
    return "ends inside a frame: the " + what + " at byte " + std::to_string(offset) + " needs " +
           std::to_string(needed) + " bytes, only " + std::to_string(present) + " remain; the " +
           std::to_string(whole_frames) + " whole frames before it were decoded";
}

std::size_t frame_splitter::frames_in(std::span<const std::uint8_t> data) const {
    std::size_t frames = 0;
    std::size_t position = 0;
    if (pending_count_ > 0) {
        const std::size_t missing = coded_frame_length(pending_[0], layout_) - pending_count_;
        if (data.size() < missing) return 0;
        ++frames;
        position = missing;
    }
    while (position < data.size()) {
        const std::size_t length = coded_frame_length(data[position], layout_);
        if (data.size() - position < length) break;
        ++frames;
        position += length;
    }
    return frames;
}

std::string frame_splitter::truncation() const {
    if (pending_count_ == 0) return "";
    return truncation_reason(layout_, kind_of(pending_[0]), offset_, coded_frame_length(pending_[0], layout_),
                             pending_count_, frames_);
}

void frame_splitter::reset() {
    pending_.fill(0);
    pending_count_ = 0;
    offset_ = 0;
    frames_ = 0;
}

}  // namespace g723::media
