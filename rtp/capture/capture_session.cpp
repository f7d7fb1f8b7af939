// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/capture/capture_session.h"

#include <sys/stat.h>

#include <algorithm>
#include <utility>

namespace g723::rtp {

std::span<const captured_rtp_packet> capture_piece::packets(std::size_t stream) const {
    if (const auto owned = owned_.find(stream); owned != owned_.end()) return owned->second;
    if (const auto kept = kept_.find(stream); kept != kept_.end()) return kept->second;
    return {};
}

capture_session capture_session::open_file(const std::string& path, capture_options options) {
    struct stat status {};
    const bool twice = path != "-" && ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
    return capture_session([path] { return open_capture_file(path); }, twice, std::move(options));
}

capture_session capture_session::open_memory(std::span<const std::uint8_t> bytes, capture_options options) {
    return capture_session([bytes] { return open_capture_memory(bytes); }, true, std::move(options));
}

capture_session::capture_session(std::function<capture::capture_reader()> open, bool twice,
                                 capture_options options)
    : open_(std::move(open)), twice_(twice), options_(std::move(options)) {
    capture::capture_reader reader = open_();
    contents_ = read_capture_contents(reader, options_.forced_types, !twice_, options_.keys);
    if (options_.pair_calls) calls_ = capture_calls(contents_);
    for (const g723_stream& stream : contents_.streams) {
        rows_.push_back(
            {stream_name(stream.key), stream.payload_type, stream.payload_type_source, "", {}, stream.encryption});
    }
    cut_.assign(contents_.streams.size(), 0);
}

bool capture_session::run(const std::function<bool(std::shared_ptr<const capture_piece>)>& finished) {
    constexpr std::size_t no_call = static_cast<std::size_t>(-1);
    std::vector<std::size_t> call_of(contents_.streams.size(), no_call);
    for (std::size_t c = 0; c < calls_.size(); ++c)
        for (const auto* side : {&calls_[c].first, &calls_[c].second})
            for (const std::size_t i : *side) call_of[i] = c;
    const auto call_piece = [&](std::size_t c) {
        auto piece = std::make_shared<capture_piece>();
        piece->call_ = &calls_[c];
        for (const auto* side : {&calls_[c].first, &calls_[c].second})
            piece->streams_.insert(piece->streams_.end(), side->begin(), side->end());
        return piece;
    };
    if (!twice_) {
        for (std::size_t c = 0; c < calls_.size(); ++c) {
            auto piece = call_piece(c);
            for (const std::size_t i : piece->streams_) piece->kept_[i] = contents_.streams[i].packets;
            if (!finished(std::move(piece))) return false;
        }
        for (std::size_t i = 0; i < contents_.streams.size(); ++i) {
            if (call_of[i] != no_call) continue;
            auto piece = std::make_shared<capture_piece>();
            piece->streams_ = {i};
            piece->kept_[i] = contents_.streams[i].packets;
            if (!finished(std::move(piece))) return false;
        }
        return true;
    }
    // The packets of a call's streams wait here until its last stream is
    // complete.
    std::vector<std::shared_ptr<capture_piece>> waiting(calls_.size());
    std::vector<std::size_t> missing(calls_.size());
    for (std::size_t c = 0; c < calls_.size(); ++c) {
        waiting[c] = call_piece(c);
        missing[c] = waiting[c]->streams_.size();
    }
    capture::capture_reader reader = open_();
    return read_stream_packets(reader, contents_, options_.forced_types,
                               [&](std::size_t i, std::vector<captured_rtp_packet> packets) {
                                   const std::size_t c = call_of[i];
                                   if (c == no_call) {
                                       auto piece = std::make_shared<capture_piece>();
                                       piece->streams_ = {i};
                                       piece->owned_[i] = std::move(packets);
                                       return finished(std::move(piece));
                                   }
                                   waiting[c]->owned_[i] = std::move(packets);
                                   if (--missing[c] > 0) return true;
                                   return finished(std::move(waiting[c]));
                               });
}

decoded_stream capture_session::decode(const capture_piece& piece, std::size_t stream) {
    g723_stream whole = contents_.streams[stream];
    whole.packets = piece.packets(stream);
    decoded_stream decoded = decode_g723_stream(whole, options_.postfilter);
    rows_[stream].statistics = decoded.statistics;
    cut_[stream] = decoded.cut;
    return decoded;
}

bool capture_session::silent(const capture_piece& piece, std::size_t stream) const {
    return contents_.streams[stream].encryption.encrypted && piece.packets(stream).empty();
}

void capture_session::set_output(std::size_t stream, std::string output) { rows_[stream].output = std::move(output); }

stream_report capture_session::report() const {
    stream_report report;
    report.streams = rows_;
    for (std::size_t i = 0; i < rows_.size(); ++i) report.streams[i].encryption = contents_.streams[i].encryption;
    report.counts = capture_counts(contents_, static_cast<std::uint64_t>(std::count(cut_.begin(), cut_.end(), 1)));
    return report;
}

}  // namespace g723::rtp
