// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_STREAM_LIVE_RECEIVER_H
#define G723_RTP_STREAM_LIVE_RECEIVER_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "rtp/packet/rtcp_packet.h"
#include "rtp/stream/jitter_buffer.h"
#include "rtp/packet/sequence_extender.h"
#include "rtp/stream/stream_report.h"
#include "rtp/stream/stream_statistics.h"
#include "rtp/stream/stream_timeline.h"

namespace g723::rtp {

// Reception from one source, as RTCP receiver reports give it back.
struct source_reception {
    std::uint32_t ssrc = 0;
    std::string address;  // "HOST:PORT" of its RTP packets
    std::int64_t first_sequence = 0;    // extended
    std::int64_t highest_sequence = 0;  // extended
    std::uint64_t received = 0;         // distinct packets, late ones too
    double jitter_units = 0.0;          // interarrival jitter, timestamp units
};

struct live_receiver_settings {
    unsigned payload_type = 4;
    std::string payload_type_source = "static";
    jitter_buffer_limits limits;
    std::string local_address;  // for the streams' names
    std::string output;         // the file the frames go to
    // How long the source being played keeps the call once it has fallen
    // silent; the receiver's idle time-out.
    double hold_seconds = 5.0;
    // Only this sender ("HOST:PORT", "[HOST]:PORT"), when given.
    std::optional<std::string> only_from;
    // RTCP shares the RTP port (RFC 5761) rather than the one above it.
    bool rtcp_mux = false;
    // The system's wall clock less the clock of the arrival times, to set
    // the played audio against the time the sender's reports give it.
    double wall_clock_offset_seconds = 0.0;
};

// What an RTCP packet did to the call.
enum class rtcp_effect {
    none,     // malformed, or not from the source being played: ignored
    report,   // the source's report, noted for the receiver reports
    goodbye,  // the source being played has left: the call is over
};

// The receiving side of a live call, apart from sockets and clocks: takes
// datagrams in arrival order with their arrival times, holds them in the
// jitter buffer and hands the frames they play out, in timeline order, to
// a sink (the decoder).
//
// One source at a time. A source is an SSRC from one address and port.
//  - A source is heard once it has passed probation: three packets with
//    distinct sequence numbers within 16 of one another, in any order (so
//    reordering and loss at the start of a call do not keep it out), whose
//    timestamps run no more than one second ahead of the time they took to
//    arrive. A lone packet, a spray of packets with random SSRCs, and a
//    chain of packets whose timestamps leap far faster than the wall clock
//    are never played. Its packets from then on, and those it sent since
//    the source being played last sent one, are kept.
//  - With `only_from`, only packets from that address and port are heard,
//    as an endpoint does once signalling has named its peer.
//  - While the source being played is active, packets of every other
//    source are counted and dropped. It stays active until it has sent
//    nothing for `hold_seconds` and the audio held from it has been played
//    out: a pause of silence compression (a SID frame, then nothing until
//    speech resumes) shorter than that is a pause, and the same source
//    resuming goes on in the same segment with comfort noise in between.
//    Only after that may another source that passed probation take over;
//    it starts a new segment, decoded afresh.
//  - A source that was played and later resumes is just another source:
//    the same rule lets it back once the one being played falls silent.
// So another sender cannot cut into a call, and a handover (a new SSRC
// after the old one has stopped) is kept whole.
//
// The audio played never runs ahead of the time that has passed since the
// first packet was played by more than the greatest playout delay and one
// packet (see stream_timeline), and stops at two hours.
class live_receiver {
public:
    // Called for each frame played out, with the statistics of the stream
    // it belongs to (the decoder counts the frames it conceals there).
    using frame_sink = std::function<void(const timeline_frame&, stream_statistics&)>;

    live_receiver(live_receiver_settings settings, frame_sink sink);

    void add(std::span<const std::uint8_t> datagram, const std::string& source, double arrival_seconds);
    // The next time play_due() has work: a playout, or a source waiting to
    // take over from one that falls silent.
    std::optional<double> next_event() const;
    void play_due(double now_seconds);
    // Plays out everything held at `now_seconds` (the end of the call).
    void play_all(double now_seconds);

    bool heard_anything() const { return current_.has_value(); }
    // When the source being played last sent a packet, or when the last
    // packet held from it plays out, whichever is later: it is silent
    // only after that.
    std::optional<double> last_heard() const;
    // What the source being played has delivered, for reports back to it.
    std::optional<source_reception> reception() const;
    // Takes an RTCP datagram. Only a valid compound packet from the source
    // being played (its address, at its RTP port or the one above, and its
    // SSRC) counts: a forged or malformed one neither ends nor changes the
    // call.
    rtcp_effect add_rtcp(std::span<const std::uint8_t> datagram, const std::string& source,
                         double arrival_seconds);
    // A receiver report about the source being played, from `own_ssrc`
    // with `cname`, ending with a BYE when `goodbye`; and where it goes
    // (where the source's reports come from, else its RTCP port). None
    // before a source is heard.
    std::optional<std::pair<std::vector<std::uint8_t>, std::string>> receiver_report(
        std::uint32_t own_ssrc, const std::string& cname, bool goodbye, double now_seconds);
    // The playout delay in force.
    double playout_delay_seconds() const { return buffer_.delay_seconds(); }

    // The report: one row per source played, then counts about the datagrams.
    stream_report report() const;

private:
    using source_key = std::pair<std::uint32_t, std::string>;  // SSRC, address
    struct sender {
        std::uint32_t number = 0;  // stands for the source in the buffer and timeline
        sequence_extender sequences;
        arrival_statistics arrivals;
        std::int64_t first_sequence = 0, highest_sequence = -1;
        std::uint64_t received = 0;
        stream_report_row row;
    };
    struct pending_packet {
        std::vector<std::uint8_t> datagram;
        double arrival_seconds;
    };
    struct probation_packet {
        std::uint16_t sequence;
        std::uint32_t timestamp;
        double arrival_seconds;
    };
    // A source not being played: its latest packets, on probation, and the
    // packets it sent since the source being played last did.
    struct candidate {
        std::deque<probation_packet> recent;
        double last_arrival = 0.0;
        std::deque<pending_packet> pending;
        std::size_t pending_bytes = 0;
    };

    void hear_other(std::span<const std::uint8_t> datagram, const source_key& key,
                    const probation_packet& heard);
    static bool passed(const candidate& waiting);
    void make_room_for_candidate();
    std::optional<source_key> successor() const;
    void take_over(std::map<source_key, candidate>::iterator chosen);
    void accept(std::span<const std::uint8_t> datagram, const source_key& key, double arrival_seconds);
    void play_out();

    live_receiver_settings settings_;
    frame_sink sink_;
    jitter_buffer buffer_;
    stream_timeline timeline_;
    std::map<source_key, sender> senders_;
    std::vector<source_key> order_;  // sources as they were played
    std::optional<source_key> current_;
    double current_last_ = 0.0;
    double current_played_ = 0.0;  // when its last packet played out
    std::map<source_key, candidate> candidates_;
    std::size_t candidate_bytes_ = 0;
    std::vector<held_packet> played_;
    std::vector<timeline_frame> frames_;
    std::uint64_t frames_written_ = 0;
    double now_ = 0.0;
    // RTCP of the source being played: its last sender report, where its
    // reports come from, what was reported back last time.
    struct rtcp_state {
        std::optional<sender_info> last_sender_report;
        double last_sender_report_arrival = 0.0;
        std::string address;
        std::uint64_t expected_prior = 0, received_prior = 0;
        std::uint64_t sender_reports = 0, receiver_reports = 0, ignored = 0;
        struct early {
            sender_info info;
            double arrival_seconds;
            std::string source;
            std::uint32_t ssrc;
        };
        std::optional<early> early_report;
    } rtcp_;
    // Playout delay: from when the sender's clock says a packet's audio
    // ended to when the packet played out, in milliseconds.
    std::vector<std::uint32_t> delay_histogram_;
    double delay_sum_ms_ = 0.0;
    std::uint64_t delays_ = 0;
    void note_playout_delay(const held_packet& packet);
    std::uint64_t percentile_ms(double share) const;
    std::uint64_t datagrams_ = 0, not_rtp_ = 0, other_types_ = 0, late_ = 0, early_ = 0, others_ = 0,
                  elsewhere_ = 0;
};

}  // namespace g723::rtp

#endif
