// SPDX-License-Identifier: BSD-2-Clause
#include <pthread.h>
#include <sched.h>
#include <unistd.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <deque>
#include <csignal>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_output.h"
#include "rtp/capture/capture_analysis.h"
#include "rtp/capture/ip_packet.h"
#include "commands/command_line.h"
#include "commands/command_options.h"
#include "commands/commands.h"
#include "commands/srtp_options.h"
#include "rtp/stream/stream_report.h"

namespace g723::tool {

using namespace g723::rtp;

namespace {

constexpr std::string_view pcap_help =
    "usage: g723 pcap [options] CAPTURE [OUTDIR]\n"
    "\n"
    "Finds every G.723.1 RTP stream in a packet capture, decodes each one and\n"
    "reports packets, frames, loss, duplicates, reordering, SID frames,\n"
    "silence, duration, interarrival jitter and the longest wait between\n"
    "packets.\n"
    "\n"
    "  CAPTURE  pcap or pcapng (Ethernet with VLAN tags, Linux cooked v1 and\n"
    "           v2, raw IP, BSD loopback; IPv4 and IPv6; UDP)\n"
    "  OUTDIR   where to write one WAV per stream, named from its addresses,\n"
    "           ports and SSRC (created if missing); without it, only the\n"
    "           report\n"
    "\n"
    "A stream is RTP version 2 of one SSRC between two addresses, with\n"
    "payload type 4, the type given by --pt, or a dynamic type that SIP/SDP\n"
    "in the capture announces as G723/8000, once two of its packets follow\n"
    "on in sequence, losses allowed (sources that never do are counted in one\n"
    "line and written nowhere). Duplicates are dropped and reordered packets\n"
    "put back. Frames of lost packets are concealed, silence the sender did\n"
    "not send is played as comfort noise; a timestamp jump of more than a\n"
    "minute, or more than the capture times allow, starts a new segment\n"
    "instead. A stream's audio never runs more than 2 s ahead of the capture\n"
    "times of its packets, and stops at two hours, as does each channel of a\n"
    "stereo file. Packets that are truncated, not UDP, IP fragments or not\n"
    "whole frames are counted and passed over. On Ctrl-C (SIGINT), SIGTERM or\n"
    "SIGHUP the files being written are finished, no other is started, and\n"
    "the files written are named.\n"
    "\n"
    "Streams that SDP in the capture declares RTP/SAVP or RTP/SAVPF are SRTP:\n"
    "each is decrypted with the key its sender's a=crypto line gives (offer\n"
    "and answer, one per direction) or one given below, and reported as\n"
    "encrypted with its suite and where the key came from. Packets that fail\n"
    "authentication or come again are counted and never decoded; a stream\n"
    "without a key is listed with 'no key' and no file. Keys are never\n"
    "printed.\n"
    "\n"
    "options:\n"
    "  --pt N          also take RTP payload type N (0 to 127) as G.723.1\n"
    "  --srtp-key KEY  decrypt the SRTP stream KEY names: 'STREAM SUITE\n"
    "                  inline:BASE64', STREAM the sender as ADDRESS,\n"
    "                  ADDRESS:PORT, [IPv6]:PORT, :PORT or an SSRC as 0x1a2b3c4d;\n"
    "                  SUITE AES_CM_128_HMAC_SHA1_80 or _32, AES_192_CM_ or\n"
    "                  AES_256_CM_HMAC_SHA1_80 or _32, AEAD_AES_128_GCM or\n"
    "                  AEAD_AES_256_GCM; BASE64 the master key and salt as an\n"
    "                  a=crypto line writes them (may be given several times)\n"
    "  --srtp-key-file FILE\n"
    "                  the same keys from FILE, one a line ('#' comments), so\n"
    "                  that they stay off the command line\n"
    "  --stereo        write the two directions of a call as one stereo WAV,\n"
    "                  first direction left, aligned by capture time\n"
    "  --json          print the report as JSON\n"
    "  --no-postfilter switch the decoder's pitch and formant postfilters off\n"
    "  --jobs N        decode N streams (or calls) at a time, 1 to 64 (default:\n"
    "                  the number of processors); the files and the report are\n"
    "                  the same for every N\n"
    "  -h, --help      show this help\n"
    "\n"
    "Exit status: 0 on success (also when no stream is found), 1 when the\n"
    "capture cannot be read, ends in a damaged record (the streams before it\n"
    "are still written) or an output cannot be written, 2 when the command\n"
    "line is wrong.\n";

// An address as part of a file name: IPv6 colons become dots.
std::string file_part(const endpoint& point) {
    std::string text = capture::to_string(point.address);
    std::replace(text.begin(), text.end(), ':', '.');
    return text + "_" + std::to_string(point.port);
}

void make_directory(const std::string& path) {
    if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
        fail_data(path, std::string("cannot be created: ") + std::strerror(errno));
    }
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        fail_data(path, "is not a directory");
    }
}

void write_wav(const std::string& path, std::span<const std::int16_t> samples, int channels) {
    audio_output output(path, false, channels);
    output.write(samples);
    output.commit();
}

// The processors this process may run on.
int processor_count() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

// The signals that stop the command.
constexpr std::array<int, 3> stop_signal_numbers{SIGINT, SIGTERM, SIGHUP};

sigset_t stop_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int number : stop_signal_numbers) sigaddset(&set, number);
    return set;
}

// Whether a stop signal, held back, waits for the process.
bool stop_pending() {
    sigset_t pending;
    sigpending(&pending);
    for (const int number : stop_signal_numbers)
        if (sigismember(&pending, number)) return true;
    return false;
}

// Said by a stop signal that comes while the capture is read, before any
// file is written; then the signal takes its course.
char reading_interrupted[512];

extern "C" void say_reading_interrupted(int signal_number) {
    const ssize_t ignored = ::write(STDERR_FILENO, reading_interrupted, std::strlen(reading_interrupted));
    (void)ignored;
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// Runs jobs on up to `threads` threads, taking them in the order they were
// added. After a job fails, or once `stop` says so, no new one starts; the
// failure of the earliest job is rethrown by finish() once every started
// job has ended, which is the one a single thread would have met first.
// add() waits while `threads` jobs wait to start, so that work is not read
// in faster than it is done.
class job_queue {
public:
    job_queue(int threads, std::function<bool()> stop) : threads_(static_cast<std::size_t>(threads)), stop_(std::move(stop)) {
        for (int t = 0; t < threads; ++t) workers_.emplace_back([this] { work(); });
    }
    job_queue(const job_queue&) = delete;
    job_queue& operator=(const job_queue&) = delete;
    ~job_queue() { close(); }

    // False once no job will start any more.
    bool add(std::function<void()> job) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return halted_ || waiting_.size() < threads_; });
        if (halted_) return false;
        waiting_.emplace_back(added_++, std::move(job));
        changed_.notify_all();
        return true;
    }
    bool halted() {
        std::lock_guard lock(mutex_);
        if (!halted_ && (!errors_.empty() || stop_())) halted_ = true;
        return halted_;
    }
    void finish() {
        close();
        if (!errors_.empty()) std::rethrow_exception(errors_.begin()->second);
    }

private:
    void close() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        changed_.notify_all();
        workers_.clear();
    }
    void work() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] { return halted_ || closed_ || !waiting_.empty(); });
            if (!halted_ && (!errors_.empty() || stop_())) halted_ = true;
            if (halted_ || waiting_.empty()) break;
            auto [number, job] = std::move(waiting_.front());
            waiting_.pop_front();
            changed_.notify_all();
            lock.unlock();
            std::exception_ptr error;
            try {
                job();
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            if (error) {
                errors_.emplace(number, error);
                halted_ = true;
            }
        }
        changed_.notify_all();
    }

    const std::size_t threads_;
    const std::function<bool()> stop_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<std::size_t, std::function<void()>>> waiting_;
    std::size_t added_ = 0;
    bool closed_ = false;
    bool halted_ = false;
    std::map<std::size_t, std::exception_ptr> errors_;
    std::vector<std::jthread> workers_;
};

}  // namespace

exit_status run_pcap(std::span<char* const> argument_list) {
    constexpr std::array<option_definition, 7> options{{{"pt", true},
                                                        {"json", false},
                                                        {"stereo", false},
                                                        {"no-postfilter", false},
                                                        {"jobs", true},
                                                        {"srtp-key", true},
                                                        {"srtp-key-file", true}}};
    const parsed_arguments arguments = parse_arguments("pcap", argument_list, options);
    if (arguments.help) {
        std::printf("%s", pcap_help.data());
        return exit_status::ok;
    }
    if (arguments.files.empty() || arguments.files.size() > 2) {
        fail_usage("pcap: expected CAPTURE and an optional OUTDIR (see 'g723 pcap --help')");
    }
    std::vector<unsigned> forced;
    if (arguments.has("pt")) {
        forced.push_back(static_cast<unsigned>(number_option("pcap", arguments, "pt", 0, 127, 0)));
        if (forced.front() != std::stod(arguments.value("pt"))) {
            fail_usage("pcap: --pt must be a whole number");
        }
    }
    const std::uint64_t jobs =
        unsigned_option("pcap", arguments, "jobs", static_cast<std::uint64_t>(std::min(processor_count(), 64)));
    if (jobs < 1 || jobs > 64) {
        fail_usage("pcap: option '--jobs' needs a whole number from 1 to 64, not '" + arguments.value("jobs") + "'");
    }
    const bool stereo = arguments.has("stereo");
    std::vector<given_srtp_key> keys = read_capture_keys("pcap", arguments);
    const std::string& capture_name = arguments.files[0];
    const std::string directory = arguments.files.size() == 2 ? arguments.files[1] : "";
    if (stereo && directory.empty()) fail_usage("pcap: --stereo needs an OUTDIR");

    std::snprintf(reading_interrupted, sizeof reading_interrupted,
                  "g723: %s: interrupted while reading the capture; nothing written\n",
                  capture_name.c_str());
    for (const int number : stop_signal_numbers) std::signal(number, say_reading_interrupted);

    // A capture in a regular file is read twice: first to find its streams
    // without keeping their packets, then to decode each stream (or call)
    // as soon as its last packet is read, so that memory holds the streams
    // under way rather than the whole capture. Anything else, standard
    // input for one, is read once and held.
    const auto open = [&] {
        try {
            return open_capture_file(capture_name);
        } catch (const capture::capture_error& error) {
            fail_data(capture_name, error.what());
        }
    };
    struct stat status {};
    const bool twice = capture_name != "-" && ::stat(capture_name.c_str(), &status) == 0 && S_ISREG(status.st_mode);
    std::optional<capture::capture_reader> reader;
    reader.emplace(open());
    capture_contents contents = read_capture_contents(*reader, forced, !twice, std::move(keys));
    reader.reset();
    const std::vector<g723_stream>& found = contents.streams;
    if (!directory.empty()) make_directory(directory);

    rtp::stream_report report;
    for (const g723_stream& stream : found) {
        report.streams.push_back(
            {stream_name(stream.key), stream.payload_type, stream.payload_type_source, "", {}, stream.encryption});
    }
    // The work comes in jobs, each a call (with --stereo) or a stream: it
    // decodes its streams, writes its file and fills in its streams' report
    // entries, and keeps its packets and audio only until then. Jobs run on
    // up to `jobs` threads; the files and the report do not depend on how
    // many.
    const bool postfilter = !arguments.has("no-postfilter");
    std::vector<char> cut(found.size(), 0);
    using packets_of = std::function<std::span<const captured_rtp_packet>(std::size_t)>;
    const auto decode = [&](std::size_t i, std::span<const captured_rtp_packet> packets) {
        g723_stream whole = found[i];
        whole.packets = packets;
        decoded_stream stream = decode_g723_stream(whole, postfilter);
        report.streams[i].statistics = stream.statistics;
        cut[i] = stream.cut;
        return stream;
    };
    const std::vector<call_directions> calls = stereo ? capture_calls(contents) : std::vector<call_directions>{};
    constexpr std::size_t no_call = static_cast<std::size_t>(-1);
    std::vector<std::size_t> call_of(found.size(), no_call);
    for (std::size_t c = 0; c < calls.size(); ++c)
        for (const auto* side : {&calls[c].first, &calls[c].second})
            for (const std::size_t i : *side) call_of[i] = c;
    // An SRTP stream of which nothing authenticated (no key, a wrong one)
    // has no audio: no file is written for it.
    const auto silent = [&](std::size_t i, std::span<const captured_rtp_packet> packets) {
        return found[i].encryption.encrypted && packets.empty();
    };
    const auto write_call = [&](const call_directions& call, const packets_of& packets) {
        std::map<std::size_t, decoded_stream> decoded;
        bool heard = false;
        for (const auto* side : {&call.first, &call.second}) {
            for (const std::size_t i : *side) {
                decoded[i] = decode(i, packets(i));
                heard = heard || !silent(i, packets(i));
            }
        }
        if (!heard) return;
        const stream_key& left = found[call.first.front()].key;
        const std::string name = directory + "/" + file_part(left.source) + "-" +
                                 file_part(left.destination) + "-stereo.wav";
        const call_audio audio =
            place_call(call, [&](std::size_t i) -> const decoded_stream& { return decoded.at(i); });
        write_wav(name, interleave(audio), 2);
        for (const std::size_t i : call.first) report.streams[i].output = name + " (left)";
        for (const std::size_t i : call.second) report.streams[i].output = name + " (right)";
    };
    const auto write_stream = [&](std::size_t i, std::span<const captured_rtp_packet> packets) {
        const decoded_stream stream = decode(i, packets);
        if (directory.empty() || silent(i, packets)) return;
        const stream_key& key = found[i].key;
        const std::string name = directory + "/" + file_part(key.source) + "-" +
                                 file_part(key.destination) + "-" + hex_ssrc(key.ssrc) + ".wav";
        write_wav(name, stream.samples, 1);
        report.streams[i].output = name;
    };
    // While files are written, a stop signal is held back: the files being
    // written are finished, no new one is started, and the command says
    // which were written before the signal takes its course.
    const sigset_t held = stop_signals();
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &held, &previous);
    {
        job_queue queue(static_cast<int>(jobs), stop_pending);
        if (!twice) {
            const packets_of kept = [&](std::size_t i) { return found[i].packets; };
            for (const call_directions& call : calls)
                if (!queue.add([&, kept] { write_call(call, kept); })) break;
            for (std::size_t i = 0; i < found.size(); ++i)
                if (call_of[i] == no_call && !queue.add([&, i] { write_stream(i, found[i].packets); })) break;
        } else {
            // The packets of a call's streams wait here until its last
            // stream is complete.
            using stream_packets = std::map<std::size_t, std::vector<captured_rtp_packet>>;
            std::vector<stream_packets> waiting(calls.size());
            std::vector<std::size_t> missing(calls.size());
            for (std::size_t c = 0; c < calls.size(); ++c) missing[c] = calls[c].first.size() + calls[c].second.size();
            reader.emplace(open());
            read_stream_packets(*reader, contents, forced, [&](std::size_t i, std::vector<captured_rtp_packet> packets) {
                if (queue.halted()) return false;
                const std::size_t c = call_of[i];
                if (c == no_call) {
                    auto owned = std::make_shared<std::vector<captured_rtp_packet>>(std::move(packets));
                    return queue.add([&, i, owned] { write_stream(i, *owned); });
                }
                waiting[c][i] = std::move(packets);
                if (--missing[c] > 0) return true;
                auto owned = std::make_shared<stream_packets>(std::move(waiting[c]));
                waiting[c].clear();
                return queue.add([&, c, owned] {
                    write_call(calls[c], [&](std::size_t s) { return std::span<const captured_rtp_packet>(owned->at(s)); });
                });
            });
            reader.reset();
        }
        queue.finish();
    }
    if (stop_pending()) {
        std::vector<std::string> written;
        for (const auto& row : report.streams) {
            const std::string file = row.output.substr(0, row.output.find(" ("));
            if (!file.empty() && std::ranges::count(written, file) == 0) written.push_back(file);
        }
        std::string message = "g723: " + capture_name + ": interrupted; " +
                              std::to_string(written.size()) +
                              (written.size() == 1 ? " file written" : " files written") +
                              (written.empty() ? "" : ":");
        for (const std::string& file : written) message += " " + file;
        std::fprintf(stderr, "%s\n", message.c_str());
        std::fflush(stderr);
        for (const int number : stop_signal_numbers) std::signal(number, SIG_DFL);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    for (const int number : stop_signal_numbers) std::signal(number, SIG_DFL);

    for (std::size_t i = 0; i < found.size(); ++i) report.streams[i].encryption = found[i].encryption;
    report.counts = capture_counts(contents, static_cast<std::uint64_t>(std::count(cut.begin(), cut.end(), 1)));
    const std::string text =
        arguments.has("json") ? rtp::format_report_json(report) : rtp::format_report_table(report);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);

    if (const std::string damage = damage_message(contents); !damage.empty()) {
        fail_data(capture_name, damage);
    }
    return exit_status::ok;
}

}  // namespace g723::tool
