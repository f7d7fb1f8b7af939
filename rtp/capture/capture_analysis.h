// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_CAPTURE_CAPTURE_ANALYSIS_H
#define G723_RTP_CAPTURE_CAPTURE_ANALYSIS_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "rtp/capture/call_pairing.h"
#include "rtp/capture/capture_scan.h"
#include "rtp/capture/rtp_stream_decoding.h"

namespace g723::rtp {

// A stream of a capture that carries G.723.1, and why it is taken as such.
struct g723_stream {
    stream_key key;
    unsigned payload_type = 0;
    std::string payload_type_source;  // "static", "--pt" or "SDP"
    double first_arrival = 0.0;       // of its first packet of any type
    // Every packet of the stream, other payload types included; refers to
    // the scan that found it, empty when the scan kept no packets.
    std::span<const captured_rtp_packet> packets;
    std::uint64_t g723_packets = 0;  // those of `payload_type`
    std::uint64_t last_record = 0;   // the capture record of its last packet, from 1
    // SRTP: its packets, decrypted, are those that authenticated; without
    // a key it has none.
    stream_encryption encryption;
    // What its RTCP sender reports said it sent, if any came.
    sender_report_tally sender{};
};

// A whole capture: what the scan saw, and its G.723.1 streams in the order
// they started.
struct capture_contents {
    capture_scan scan;
    std::vector<g723_stream> streams;
    // Sources that would carry G.723.1 but never sent two packets in
    // sequence (see read_capture_contents): a spray of forged or stray
    // packets, not taken as streams.
    std::uint64_t unconfirmed_sources = 0;
    std::uint64_t unconfirmed_packets = 0;
    // SRTP keys given for the capture (besides those of its SDP).
    std::vector<given_srtp_key> keys;
};

// Opens a capture file. Throws capture::capture_error when libpcap cannot
// read it or its link type is not supported; the message does not name the
// file (the caller does).
capture::capture_reader open_capture_file(const std::string& path);
// The same for a capture held in memory; `bytes` must outlive the reader.
capture::capture_reader open_capture_memory(std::span<const std::uint8_t> bytes);

// Reads every record and decides which streams carry G.723.1: payload type
// 4, one of `forced_types` (the tool's --pt), or a dynamic type that SDP in
// the capture announces for the stream's destination; and of those, which
// passed probation, the RFC 3550 rule for new sources loosened for loss:
// two packets of that type, one right after the other in the capture, the
// second 1 to 16 sequence numbers and up to a minute of timestamps ahead.
// A capture that ends in a damaged record is not
// refused: scan.damage says why, and what came before is kept.
// Without `keep_packets` the streams are found but their packets not kept:
// read_stream_packets reads them in a second pass.
// SRTP streams (see stream_decryption) are decrypted with `keys` or those
// of the SDP read before each stream's first packet; a stream that the
// capture's SDP says is SRTP only after its first packet is left without
// packets rather than decoded as ciphertext. Read once or twice, the same.
capture_contents read_capture_contents(capture::capture_reader& reader,
                                       std::span<const unsigned> forced_types,
                                       bool keep_packets = true,
                                       std::vector<given_srtp_key> keys = {});

// The second pass over a capture that read_capture_contents found the
// streams of without keeping packets, through a new reader of the same
// capture: keeps the packets of contents.streams only and hands each
// stream's to `complete` (with its index in contents.streams) as soon as
// its last packet is read, so that memory holds only the streams under
// way. Stops when `complete` returns false, and then returns false. SRTP
// packets are decrypted with the whole capture's keys; each stream's
// encryption counts are in contents.streams before it is handed over.
bool read_stream_packets(
    capture::capture_reader& reader, capture_contents& contents,
    std::span<const unsigned> forced_types,
    const std::function<bool(std::size_t, std::vector<captured_rtp_packet>)>& complete);

// "192.0.2.1:5004 > 192.0.2.2:5006 ssrc 0x0000abcd".
std::string stream_name(const stream_key& key);
// An SSRC as eight hexadecimal digits, "0000abcd".
std::string hex_ssrc(std::uint32_t ssrc);

// Decodes one stream of `contents`. It only reads what it is given, so
// several streams of one capture may be decoded on different threads.
decoded_stream decode_g723_stream(const g723_stream& stream, bool postfilter);

// The counts about the capture as a whole that the report shows, given how
// many streams were cut at max_stream_frames.
std::vector<std::pair<std::string, std::uint64_t>> capture_counts(const capture_contents& contents,
                                                                  std::uint64_t cut_streams);

// Why a capture's reading stopped early, as the report words it after the
// capture's name; empty when it was read to its end.
std::string damage_message(const capture_contents& contents);

// The two directions of a call placed on one time axis from the start of
// its earlier stream, by capture time.
struct call_audio {
    double start_seconds = 0.0;
    std::vector<std::int16_t> first;  // the direction that started first
    std::vector<std::int16_t> second;
};

// The calls of a capture (see pair_calls), as indices into contents.streams.
std::vector<call_directions> capture_calls(const capture_contents& contents);

// Places a call's decoded streams: each direction's streams in order, at
// their start time, never overlapping the one before. A channel holds at
// most max_stream_frames, whatever capture times say. `decoded` gives the
// decoded stream of an index in `call`.
call_audio place_call(const call_directions& call,
                      const std::function<const decoded_stream&(std::size_t)>& decoded);

// Both channels as interleaved stereo samples (left first), as long as
// the longer one; the shorter is padded with silence.
std::vector<std::int16_t> interleave(const call_audio& call);

}  // namespace g723::rtp

#endif
