// SPDX-License-Identifier: BSD-2-Clause
// The compiled half of the g723 Python package: numpy arrays and bytes in
// and out of the streaming coder, the degradation pipeline and the stream
// description. The Python half checks arguments and carries the documented
// interface; every call here that codes releases the GIL.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <optional>
#include <string>

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "capture_reading.h"
#include "degradation.h"
#include "sample_scale.h"
#include "stream_info.h"
#include "streaming_decoder.h"
#include "streaming_encoder.h"

namespace py = pybind11;
using namespace g723::python;

namespace {

using pcm_array = py::array_t<std::int16_t, py::array::c_style>;
using flag_array = py::array_t<std::uint8_t, py::array::c_style>;

// A read-only view of a bytes-like object, held (and so kept from resizing)
// while the GIL is released.
class byte_view {
public:
    explicit byte_view(const py::buffer& data) : info_(data.request()) {
        if (info_.itemsize != 1 || info_.ndim != 1 || (info_.size > 1 && info_.strides[0] != 1)) {
            throw py::type_error("data must be a contiguous bytes-like object");
        }
    }
    std::span<const std::uint8_t> bytes() const {
        return {static_cast<const std::uint8_t*>(info_.ptr), static_cast<std::size_t>(info_.size)};
    }

private:
    py::buffer_info info_;
};

py::dict counts_dict(const frame_statistics& counts, bool decoding) {
    py::dict frames;
    frames["speech"] = counts.of(frame_kind::speech_6k3);
    frames["sid"] = counts.of(frame_kind::sid);
    frames["untransmitted"] = counts.of(frame_kind::untransmitted);
    if (decoding) {
        frames["speech_5k3"] = counts.of(frame_kind::speech_5k3);
        frames["lost"] = counts.marked_lost;
        frames["invalid"] = counts.invalid;
    }
    return frames;
}

// The values as a numpy array that owns them, without a copy; `columns`
// above one makes rows of that many.
template <typename T>
py::array_t<T> to_array(std::vector<T>&& values, py::ssize_t columns = 1) {
    auto* owned = new std::vector<T>(std::move(values));
    const py::capsule owner(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    const auto size = static_cast<py::ssize_t>(owned->size());
    if (columns == 1) return py::array_t<T>(size, owned->data(), owner);
    return py::array_t<T>({size / columns, columns}, owned->data(), owner);
}

py::tuple endpoint_tuple(const g723::rtp::endpoint& point) {
    return py::make_tuple(g723::rtp::capture::to_string(point.address), point.port);
}

// A capture as the package's read_capture and read_calls take it apart:
// the report as `g723 pcap --json` prints it, the damage message, one dict
// per stream and, when asked, one per call with its stereo samples.
py::dict read_capture_data(const std::string& path, const std::vector<unsigned>& payload_types,
                           const std::vector<std::string>& srtp_keys, bool postfilter, bool calls) {
    namespace rtp = g723::rtp;
    namespace media = g723::media;
    capture_reading reading;
    std::vector<std::vector<std::int16_t>> call_samples;
    std::vector<double> call_starts;
    {
        const py::gil_scoped_release release;
        reading = read_capture(path, payload_types, srtp_keys, postfilter, calls);
        for (const rtp::call_directions& call : reading.calls) {
            const rtp::call_audio audio = rtp::place_call(
                call, [&](std::size_t i) -> const rtp::decoded_stream& { return reading.decoded[i]; });
            call_samples.push_back(rtp::interleave(audio));
            call_starts.push_back(audio.start_seconds);
        }
    }
    py::list streams;
    for (std::size_t i = 0; i < reading.decoded.size(); ++i) {
        const rtp::g723_stream& found = reading.streams[i];
        rtp::decoded_stream& decoded = reading.decoded[i];
        std::vector<std::uint8_t> kinds(decoded.frames.size());
        std::transform(decoded.frames.begin(), decoded.frames.end(), kinds.begin(),
                       [](rtp::decoded_frame kind) { return static_cast<std::uint8_t>(kind); });
        std::vector<std::int64_t> segments;
        for (const std::size_t start : decoded.segment_starts) {
            segments.push_back(static_cast<std::int64_t>(start * media::frame_samples));
        }
        py::dict stream;
        stream["source"] = endpoint_tuple(found.key.source);
        stream["destination"] = endpoint_tuple(found.key.destination);
        stream["ssrc"] = found.key.ssrc;
        stream["start"] = decoded.start_seconds;
        stream["cut"] = decoded.cut;
        stream["samples"] = to_array(std::move(decoded.samples));
        stream["frame_kinds"] = to_array(std::move(kinds));
        stream["segment_starts"] = to_array(std::move(segments));
        streams.append(stream);
    }
    py::list call_list;
    for (std::size_t c = 0; c < reading.calls.size(); ++c) {
        py::dict call;
        call["first"] = reading.calls[c].first;
        call["second"] = reading.calls[c].second;
        call["start"] = call_starts[c];
        call["samples"] = to_array(std::move(call_samples[c]), 2);
        call_list.append(call);
    }
    py::dict result;
    result["report"] = reading.report_json;
    result["damage"] = reading.damage;
    result["streams"] = streams;
    result["calls"] = call_list;
    return result;
}

py::bytes to_bytes(const std::vector<std::uint8_t>& coded) {
    return {reinterpret_cast<const char*>(coded.data()), coded.size()};
}

template <typename T>
std::span<const T> samples_of(const py::array& audio) {
    return {static_cast<const T*>(audio.data()), static_cast<std::size_t>(audio.size())};
}

// Calls `work` with a value of the audio's sample type, one of those the
// package takes, so that it can read the samples as that type.
template <typename Work>
auto with_audio_type(const py::array& audio, Work&& work) {
    if (audio.ndim() != 1 || !(audio.flags() & py::array::c_style)) {
        throw py::value_error("audio must be a contiguous one-dimensional array");
    }
    const py::dtype type = audio.dtype();
    if (type.equal(py::dtype::of<std::int16_t>())) return work(std::int16_t{});
    if (type.equal(py::dtype::of<std::int32_t>())) return work(std::int32_t{});
    if (type.equal(py::dtype::of<float>())) return work(float{});
    if (type.equal(py::dtype::of<double>())) return work(double{});
    throw py::type_error("audio must hold float32, float64, int16 or int32 samples");
}

py::bytes encode_audio(const py::array& audio, int rate, const encoder_settings& settings) {
    return with_audio_type(audio, [&](auto sample) {
        using T = decltype(sample);
        std::vector<std::uint8_t> coded;
        {
            const py::gil_scoped_release release;
            const std::vector<double> scaled = to_pcm16_scale(samples_of<T>(audio));
            coded = encode_all(to_speech_input(scaled, rate), settings);
        }
        return to_bytes(coded);
    });
}

py::array degrade_audio(const py::array& audio, int rate, const degradation_settings& settings) {
    return with_audio_type(audio, [&](auto sample) -> py::array {
        using T = decltype(sample);
        py::array_t<T> out(audio.size());
        const std::span<T> written(out.mutable_data(), static_cast<std::size_t>(out.size()));
        {
            const py::gil_scoped_release release;
            const std::vector<double> scaled = to_pcm16_scale(samples_of<T>(audio));
            from_pcm16_scale<T>(degrade(scaled, rate, settings), written);
        }
        return out;
    });
}

py::dict describe(const py::buffer& data) {
    const byte_view view(data);
    stream_info info;
    {
        const py::gil_scoped_release release;
        info = describe_stream(view.bytes());
    }
    py::dict result;
    result["bytes"] = info.bytes();
    result["frames"] = info.counts.frames();
    result["duration"] = info.seconds();
    result["kinds"] = counts_dict(info.counts, true);
    result["bit_rate"] = info.bit_rate();
    py::list not_clean;
    for (const auto& [offset, reason] : info.not_clean) not_clean.append(py::make_tuple(offset, reason));
    result["not_clean"] = not_clean;
    result["truncation"] = info.truncation;
    return result;
}

}  // namespace

PYBIND11_MODULE(_g723, m) {
    m.doc() = "Compiled core of the g723 package; use the g723 package itself.";

    const char* version = nullptr;
    g723_get_version(&version);
    m.attr("library_version") = version;
    m.attr("__version__") = G723_VERSION;

    py::class_<streaming_encoder>(m, "Encoder", "Streaming G.723.1 encoder (see g723.Encoder).")
        .def(py::init([](bool vad, bool multiple_sid, bool highpass) {
                 return new streaming_encoder(encoder_settings{vad, multiple_sid, highpass});
             }),
             py::arg("vad"), py::arg("multiple_sid"), py::arg("highpass"))
        .def(
            "encode",
            [](streaming_encoder& encoder, const pcm_array& pcm) {
                std::vector<std::uint8_t> coded;
                {
                    const py::gil_scoped_release release;
                    encoder.encode({pcm.data(), static_cast<std::size_t>(pcm.size())}, coded);
                }
                return to_bytes(coded);
            },
            py::arg("pcm"), "Codes the whole frames that int16 `pcm` completes; compact bytes.")
        .def(
            "flush",
            [](streaming_encoder& encoder) {
                std::vector<std::uint8_t> coded;
                {
                    const py::gil_scoped_release release;
                    encoder.flush(coded);
                }
                return to_bytes(coded);
            },
            "Pads and codes the end of the stream, then starts a new one.")
        .def_property_readonly(
            "frames", [](const streaming_encoder& encoder) { return counts_dict(encoder.counts(), false); },
            "Frames written, by kind.")
        .def_property_readonly("pending", &streaming_encoder::pending_samples, "Samples waiting for a frame.");

    py::class_<streaming_decoder>(m, "Decoder", "Streaming G.723.1 decoder (see g723.Decoder).")
        .def(py::init<bool>(), py::arg("postfilter"))
        .def(
            "decode",
            [](streaming_decoder& decoder, const py::buffer& data, const std::optional<flag_array>& lost) {
                const byte_view view(data);
                std::optional<std::span<const std::uint8_t>> flags;
                if (lost) flags.emplace(lost->data(), static_cast<std::size_t>(lost->size()));
                std::vector<std::int16_t> samples;
                {
                    const py::gil_scoped_release release;
                    decoder.decode(view.bytes(), flags, samples);
                }
                return to_array(std::move(samples));
            },
            py::arg("data"), py::arg("lost") = py::none(), "Decodes the whole frames `data` completes.")
        .def(
            "conceal",
            [](streaming_decoder& decoder, std::size_t count) {
                std::vector<std::int16_t> samples;
                {
                    const py::gil_scoped_release release;
                    decoder.conceal(count, samples);
                }
                return to_array(std::move(samples));
            },
            py::arg("count"), "Conceals `count` frames that never arrived.")
        .def("finish", &streaming_decoder::finish,
             "Ends the stream; returns the truncation message, or an empty string.")
        .def_property_readonly(
            "frames", [](const streaming_decoder& decoder) { return counts_dict(decoder.counts(), true); },
            "Frames decoded, by kind, and those concealed.")
        .def_property_readonly("pending", &streaming_decoder::pending_bytes, "Bytes waiting for a frame.");

    m.def(
        "encode",
        [](const py::array& audio, int rate, bool vad, bool multiple_sid, bool highpass) {
            return encode_audio(audio, rate, encoder_settings{vad, multiple_sid, highpass});
        },
        py::arg("audio"), py::arg("rate"), py::arg("vad"), py::arg("multiple_sid"), py::arg("highpass"),
        "Audio at `rate` converted to 8 kHz and coded as the g723 tool codes a file.");
    m.def(
        "degrade",
        [](const py::array& audio, int rate, bool vad, bool multiple_sid, bool highpass, bool postfilter,
           double loss_percent, std::uint64_t seed) {
            return degrade_audio(audio, rate,
                                 degradation_settings{{vad, multiple_sid, highpass}, postfilter, loss_percent, seed});
        },
        py::arg("audio"), py::arg("rate"), py::arg("vad"), py::arg("multiple_sid"), py::arg("highpass"),
        py::arg("postfilter"), py::arg("loss_percent"), py::arg("seed"),
        "Audio at `rate` through the codec and back, aligned and of the same length and type.");
    m.def("describe", &describe, py::arg("data"), "Frame counts and bit rate of a compact bit-stream.");
    m.def(
        "looks_like_audio_file",
        [](const py::buffer& data) { return looks_like_audio_file(byte_view(data).bytes()); }, py::arg("data"),
        "True when the bytes start like an audio file rather than a bit-stream.");
    m.def("read_capture", &read_capture_data, py::arg("path"), py::arg("payload_types"),
          py::arg("srtp_keys"), py::arg("postfilter"), py::arg("calls"),
          "The G.723.1 streams of a capture, decoded, with the report and the calls.");
    py::register_exception<g723::rtp::capture::capture_error>(m, "CaptureError", PyExc_ValueError);
}
