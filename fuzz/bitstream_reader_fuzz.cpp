// SPDX-License-Identifier: BSD-2-Clause
// The tool's bit-stream reader on arbitrary files, in both layouts. The input
// becomes the file (repeated past the reader's 64 KiB block when its last
// byte is 0xff, so that frames straddle the refills), held in a
// memory file that the reader opens by name like any other. Checks: the
// frames put back together are the file; each frame is as long as its layout
// and header code say, with a zero tail in its slot; a short tail ends the
// read as truncated with the right byte counts; the reader refuses only an
// audio file.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bitstream/bitstream_reader.h"
#include "media/codec/frame_layout.h"
#include "fuzz/fuzz_check.h"
#include "io/input_file.h"
#include "io/tool_error.h"

namespace {

using namespace g723::tool;
using namespace g723::media;

constexpr std::size_t kReadBlock = 1 << 16;

int memory_file() {
    static const int fd = memfd_create("bitstream", 0);
    G723_FUZZ_CHECK(fd >= 0);
    return fd;
}

void write_file(int fd, const std::vector<std::uint8_t>& bytes) {
    G723_FUZZ_CHECK(ftruncate(fd, 0) == 0);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        G723_FUZZ_CHECK(n > 0);
        done += static_cast<std::size_t>(n);
    }
}

bool starts_like_audio(const std::vector<std::uint8_t>& file) {
    if (file.size() < 12) return false;
    const std::string tag(file.begin(), file.begin() + 4);
    const std::string form(file.begin() + 8, file.begin() + 12);
    if (tag == "RIFF" || tag == "RIFX" || tag == "RF64") return form == "WAVE";
    if (tag == "FORM") return form == "AIFF" || form == "AIFC";
    return tag == "fLaC" || tag == "OggS" || tag == ".snd";
}

void read_whole_file(const std::string& path, const std::vector<std::uint8_t>& file, stream_layout layout) {
    try {
        input_file input(path);
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
    } catch (const tool_error& e) {
        // Refused: an empty file or an audio file, nothing else.
        G723_FUZZ_CHECK(e.status() == exit_status::data_error);
        G723_FUZZ_CHECK(file.empty() || starts_like_audio(file));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::uint8_t> file(data, data + size);
    if (size > 0 && data[size - 1] == 0xff) {
        while (file.size() < kReadBlock + 2 * G723_SLOT_BYTES) file.insert(file.end(), data, data + size);
    }
    const int fd = memory_file();
    write_file(fd, file);
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    read_whole_file(path, file, stream_layout::compact);
    read_whole_file(path, file, stream_layout::slots);
    return 0;
}
