// SPDX-License-Identifier: BSD-2-Clause
// The bit-stream reader on arbitrary files, in both layouts. The input
// becomes the file (repeated past the reader's 64 KiB block when its last
// byte is 0xff, so that frames straddle the refills), which the reader takes
// from memory as it takes any byte source. Checks: the frames put back
// together are the file; each frame is as long as its layout and header code
// say, with a zero tail in its slot; a short tail ends the read as truncated
// with the right byte counts; the reader refuses only an empty or audio file.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "media/codec/bitstream_reader.h"
#include "media/codec/byte_source.h"
#include "media/codec/frame_layout.h"

namespace {

using namespace g723::media;

constexpr std::size_t kReadBlock = 1 << 16;

// The file's bytes, handed out as a file hands them out: whole reads until
// the end.
class memory_source : public byte_source {
public:
    explicit memory_source(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

    std::size_t read(std::span<std::uint8_t> buffer) override {
        const std::size_t count = std::min(buffer.size(), bytes_.size() - position_);
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), count, buffer.begin());
        position_ += count;
        return count;
    }
    const std::string& name() const override { return name_; }

private:
    const std::vector<std::uint8_t>& bytes_;
    std::size_t position_ = 0;
    const std::string name_ = "fuzzed.bit";
};

bool starts_like_audio(const std::vector<std::uint8_t>& file) {
    if (file.size() < 12) return false;
    const std::string tag(file.begin(), file.begin() + 4);
    const std::string form(file.begin() + 8, file.begin() + 12);
    if (tag == "RIFF" || tag == "RIFX" || tag == "RF64") return form == "WAVE";
    if (tag == "FORM") return form == "AIFF" || form == "AIFC";
    return tag == "fLaC" || tag == "OggS" || tag == ".snd";
}

void read_whole_file(const std::vector<std::uint8_t>& file, stream_layout layout) {
    try {
        memory_source input(file);
        bitstream_reader reader(input, layout);
        G723_FUZZ_CHECK(!starts_like_audio(file));
        std::size_t position = 0;
        std::uint64_t frames = 0;
        for (;;) {
            coded_frame frame;
            const read_status status = reader.next(frame);
            if (status == read_status::end) {
                G723_FUZZ_CHECK(position == file.size());
                break;
            }
            G723_FUZZ_CHECK(position < file.size());
            G723_FUZZ_CHECK(frame.offset == position);
            G723_FUZZ_CHECK(frame.kind == kind_of(file[position]));
            const std::size_t expected_length =
                layout == stream_layout::slots ? G723_SLOT_BYTES : meaningful_bytes(frame.kind);
            G723_FUZZ_CHECK(frame.length == expected_length);
            if (status == read_status::truncated) {
                G723_FUZZ_CHECK(file.size() - position < expected_length);
                G723_FUZZ_CHECK(reader.truncated_bytes() == file.size() - position);
                G723_FUZZ_CHECK(!truncation_reason(frame, reader, layout, frames).empty());
                G723_FUZZ_CHECK(reader.next(frame) == read_status::end);
                break;
            }
            G723_FUZZ_CHECK(status == read_status::frame);
            G723_FUZZ_CHECK(std::equal(frame.slot.begin(), frame.slot.begin() + frame.length, file.begin() + position));
            G723_FUZZ_CHECK(std::all_of(frame.slot.begin() + frame.length, frame.slot.end(),
                                        [](std::uint8_t v) { return v == 0; }));
            position += frame.length;
            G723_FUZZ_CHECK(reader.offset() == position);
            ++frames;
        }
    } catch (const bitstream_error& e) {
        // Refused: an empty file or an audio file, nothing else.
        G723_FUZZ_CHECK(std::string(e.what()).starts_with("fuzzed.bit: "));
        G723_FUZZ_CHECK(file.empty() || starts_like_audio(file));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::uint8_t> file(data, data + size);
    if (size > 0 && data[size - 1] == 0xff) {
        while (file.size() < kReadBlock + 2 * G723_SLOT_BYTES) file.insert(file.end(), data, data + size);
    }
    read_whole_file(file, stream_layout::compact);
    read_whole_file(file, stream_layout::slots);
    return 0;
}
