// SPDX-License-Identifier: BSD-2-Clause
// Bad input of every kind: one line on standard error naming the file and
// the reason, exit status 2 for the command line and 1 for the data, and
// never an output file, whole or partial, left behind.
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "tool_fixture.h"

namespace g723::tool_test {
namespace {

class bad_input : public tool_test {
protected:
    // Runs a failing command and checks its message and status, and that the
    // directory holds exactly what it held before.
    void expect_failure(const std::vector<std::string>& arguments, int status,
                        const std::vector<std::string>& message_parts, const std::string& input = {}) {
        const auto before = dir_.entries();
        const auto result = run_tool(arguments, input);
        EXPECT_EQ(result.exit_status, status) << result.err;
        EXPECT_TRUE(is_single_line(result.err)) << result.err;
        EXPECT_EQ(result.err.rfind("g723: ", 0), 0u) << result.err;
        for (const auto& part : message_parts) {
            EXPECT_NE(result.err.find(part), std::string::npos) << "'" << part << "' not in " << result.err;
        }
        EXPECT_EQ(dir_.entries(), before) << result.err;
        EXPECT_EQ(result.out, "");
        // Every command-line mistake points at the help that explains it.
        if (status == 2 && !arguments.empty()) {
            const bool known = arguments[0] != "transcode";
            const std::string hint =
                known ? " (see 'g723 " + arguments[0] + " --help')\n" : std::string(" (see 'g723 --help')\n");
            EXPECT_TRUE(result.err.ends_with(hint)) << result.err;
        }
    }
};

TEST_F(bad_input, MissingEmptyAndNonAudioInputs) {
    expect_failure({"encode", path("absent.wav"), path("out.bit")}, 1,
                   {path("absent.wav"), "No such file"});
    write_file(path("empty.wav"), "");
    expect_failure({"encode", path("empty.wav"), path("out.bit")}, 1, {path("empty.wav"), "empty"});
    expect_failure({"encode", "-", path("out.bit")}, 1, {"standard input", "empty"});
    write_file(path("notes.wav"), "these are meeting notes, not audio\n");
    expect_failure({"encode", path("notes.wav"), path("out.bit")}, 1,
                   {path("notes.wav"), "not an audio file"});
    expect_failure({"roundtrip", path("notes.wav"), path("out.wav")}, 1,
                   {path("notes.wav"), "not an audio file"});
    expect_failure({"encode", dir_.path(""), path("out.bit")}, 1, {"directory"});
    write_file(path("odd.raw"), "abc");
    expect_failure({"encode", path("odd.raw"), path("out.bit")}, 1, {path("odd.raw"), "16-bit"});

    expect_failure({"decode", path("absent.bit"), path("out.wav")}, 1,
                   {path("absent.bit"), "No such file"});
    expect_failure({"decode", path("empty.wav"), path("out.wav")}, 1, {path("empty.wav"), "empty"});
    expect_failure({"info", path("empty.wav")}, 1, {path("empty.wav"), "empty"});
    expect_failure({"decode", path("mono.wav"), path("out.wav")}, 1,
                   {path("mono.wav"), "audio file, not a G.723.1 bit-stream"});
}

TEST_F(bad_input, UnreadableInput) {
    std::filesystem::create_directory(path("folder.wav"));
    expect_failure({"encode", path("folder.wav"), path("out.bit")}, 1, {path("folder.wav"), "is a directory"});
    expect_failure({"decode", path("folder.wav"), path("out.wav")}, 1, {path("folder.wav"), "is a directory"});
    // File permissions do not bind the superuser, who runs CI here.
    if (::geteuid() == 0) return;
    write_file(path("locked.wav"), read_file(path("mono.wav")));
    ::chmod(path("locked.wav").c_str(), 0);
    expect_failure({"encode", path("locked.wav"), path("out.bit")}, 1,
                   {path("locked.wav"), "Permission denied"});
}

TEST_F(bad_input, UnwritableOutput) {
    expect_failure({"encode", path("mono.wav"), path("no/such/dir/out.bit")}, 1,
                   {path("no/such/dir/out.bit"), "cannot be written"});
    std::filesystem::create_directory(path("folder"));
    expect_failure({"encode", path("mono.wav"), path("folder")}, 1, {path("folder"), "directory"});
    ASSERT_EQ(run_tool({"encode", path("mono.wav"), path("ok.bit")}).exit_status, 0);
    expect_failure({"decode", path("ok.bit"), path("no/such/dir/out.wav")}, 1,
                   {path("no/such/dir/out.wav"), "cannot be written"});
}

TEST_F(bad_input, CommandLineMistakesAreUsageErrors) {
    expect_failure({"encode", "--frobnicate", path("mono.wav"), path("out.bit")}, 2,
                   {"unknown option '--frobnicate'"});
    expect_failure({"decode", "-x", path("a"), path("b")}, 2, {"unknown option '-x'"});
    expect_failure({"encode", path("mono.wav")}, 2, {"encode: missing OUTPUT after '" + path("mono.wav") + "'"});
    expect_failure({"encode"}, 2, {"encode: missing INPUT and OUTPUT"});
    expect_failure({"receive", "udp://127.0.0.1:5004"}, 2, {"receive: missing OUTPUT after"});
    expect_failure({"send", path("mono.wav")}, 2, {"send: missing udp://HOST:PORT after"});
    expect_failure({"pcap", "--jobs", "0", path("a")}, 2, {"--jobs"});
    expect_failure({"send", "--slots", path("mono.wav"), "udp://127.0.0.1:9"}, 2, {"--slots needs --bitstream"});
    expect_failure({"receive", "--min-delay", "90", "--max-delay", "60", "udp://127.0.0.1:9", path("o.wav")}, 2,
                   {"--min-delay is above --max-delay"});
    expect_failure({"info", path("a"), path("b")}, 2, {"too many"});
    expect_failure({"decode", "--loss", "150", path("a"), path("b")}, 2, {"--loss"});
    expect_failure({"decode", path("a"), path("b"), "--seed"}, 2, {"--seed", "needs a value"});
    expect_failure({"encode", "--no-vad", "--multiple-sid", path("mono.wav"), path("out.bit")}, 2,
                   {"--multiple-sid"});
    expect_failure({"encode", path("mono.wav"), path("mono.wav")}, 2, {"same file"});
    expect_failure({"transcode", path("mono.wav")}, 2, {"unknown command 'transcode'"});
    expect_failure({}, 2, {"missing command"});
}

// A name that promises another audio format gets no WAV data under it.
TEST_F(bad_input, OtherAudioFormatsAreRefusedByName) {
    ASSERT_EQ(run_tool({"encode", path("mono.wav"), path("speech.bit")}).exit_status, 0);
    for (const std::string name : {"out.mp3", "out.ogg", "OUT.OPUS", "out.m4a"}) {
        expect_failure({"decode", path("speech.bit"), path(name)}, 2,
                       {path(name) + ": cannot write", "WAV", "FLAC", "AIFF", "AU", ".raw"});
        expect_failure({"roundtrip", path("mono.wav"), path(name)}, 2, {"cannot write"});
    }
    EXPECT_EQ(run_tool({"decode", "--raw", path("speech.bit"), path("out.mp3")}).exit_status, 0);
}

// A WAV whose header promises more than the file holds (a recording cut
// off) is coded as far as it goes, with a warning that says so.
TEST_F(bad_input, WaveCutShortIsWarnedAbout) {
    std::vector<std::uint8_t> file = {'R', 'I', 'F', 'F', 0xa4, 0x1c, 0x02, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                      16, 0, 0, 0, 1, 0, 1, 0, 0x40, 0x1f, 0, 0, 0x80, 0x3e, 0, 0, 2, 0, 16, 0,
                                      'd', 'a', 't', 'a', 0x80, 0x1c, 0x02, 0};  // 138 368 bytes: 8.65 s
    for (int i = 0; i < 100; ++i) file.push_back(static_cast<std::uint8_t>(i * 37));
    const std::string name = path("cut.wav");
    std::FILE* out = std::fopen(name.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(file.data(), 1, file.size(), out);
    std::fclose(out);
    const auto result = run_tool({"encode", name, path("cut.bit")});
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_NE(result.err.find(name + ": warning: the header promises 8.65 s of audio but the file holds only 0.01 s"),
              std::string::npos)
        << result.err;
    const auto whole = run_tool({"encode", path("mono.wav"), path("whole.bit")});
    EXPECT_EQ(whole.err, "");
}

TEST_F(bad_input, FailureLeavesAnExistingOutputUntouched) {
    write_file(path("keep.bit"), "previous contents");
    write_file(path("notes.wav"), "not audio at all, just text");
    expect_failure({"encode", path("notes.wav"), path("keep.bit")}, 1, {path("notes.wav")});
    EXPECT_EQ(read_file(path("keep.bit")), "previous contents");
}

bool temporary_file_present(const std::string& directory) {
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        if (entry.path().filename().string().rfind(".out.bit.", 0) == 0) return true;
    }
    return false;
}

TEST_F(bad_input, InterruptedRunLeavesNoPartialOutput) {
    write_file(path("out.bit"), "previous contents");
    const auto before = dir_.entries();
    // Raw samples through a pipe that never closes: the tool is mid-stream,
    // its temporary output open, when the signal arrives.
    std::string samples;
    for (int i = 0; i < 20; ++i) samples += raw_bytes(reference_);
    const auto result = run_tool_interrupted({"encode", "--raw", "-", path("out.bit")}, samples,
                                             temporary_file_present, dir_.path(""), SIGTERM);
    EXPECT_EQ(result.signal, SIGTERM);
    EXPECT_EQ(dir_.entries(), before);
    EXPECT_EQ(read_file(path("out.bit")), "previous contents");
}

}  // namespace
}  // namespace g723::tool_test
