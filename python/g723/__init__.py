# SPDX-License-Identifier: BSD-2-Clause
"""G.723.1 speech coding at 6.3 kbit/s for numpy.

The codec works on 8 kHz mono 16-bit samples in 30 ms frames of 240 samples,
with silence compression (voice activity detection, SID frames, comfort
noise) and concealment of lost frames. Coded streams use the compact layout
of the ``g723`` tool: each frame only its meaningful bytes (24 for speech,
4 for SID, 1 for an untransmitted frame), told apart by the two low bits of
the first byte.

- :class:`Encoder` and :class:`Decoder` code streams in pieces of any length.
- :func:`encode`, :func:`decode` and :func:`info` handle whole streams, as
  ``g723 encode``, ``g723 decode`` and ``g723 info`` handle files.
- :func:`roundtrip` degrades audio at any rate through the codec and back,
  aligned with the input, for dataset augmentation.
- :func:`read_capture` and :func:`read_calls` decode the G.723.1 RTP
  streams and calls of a packet capture as ``g723 pcap`` does, with its
  report and the kind of every frame.

Coding and reading captures release the GIL, so threads coding different
instances run in parallel. Bad arguments raise :class:`TypeError` or
:class:`ValueError`; a stream that ends inside a frame raises
:class:`TruncatedStreamError` and a capture that cannot be read, or ends
damaged, :class:`CaptureError`, both with the tool's wording.
"""

from __future__ import annotations

import enum
import json
import operator
import os
import secrets
import warnings

import numpy as np

from . import _g723

__all__ = [
    "Encoder",
    "Decoder",
    "TruncatedStreamError",
    "CaptureError",
    "FrameKind",
    "CaptureStream",
    "Capture",
    "Call",
    "read_capture",
    "read_calls",
    "encode",
    "decode",
    "roundtrip",
    "info",
    "SAMPLE_RATE",
    "FRAME_SAMPLES",
    "LOOKAHEAD",
    "library_version",
    "__version__",
]

#: The codec's sample rate in Hz.
SAMPLE_RATE = 8000
#: Samples in one 30 ms frame.
FRAME_SAMPLES = 240
#: Samples by which decoded speech lags the encoder's input.
LOOKAHEAD = 60
#: The codec library's version string.
library_version: str = _g723.library_version
#: The project's release (the same as ``g723 --version`` and the packages).
__version__: str = _g723.__version__

# Rates that roundtrip() and encode() convert from: the 8 kHz core and soxr's
# conversion stay within sensible sizes between these.
_MIN_RATE = 1000
_MAX_RATE = 768000
_AUDIO_TYPES = (np.dtype(np.float32), np.dtype(np.float64), np.dtype(np.int16), np.dtype(np.int32))


class TruncatedStreamError(ValueError):
    """A bit-stream ends inside a frame.

    The message is the ``g723`` tool's, e.g. "ends inside a frame: the speech
    frame at byte 977 needs 24 bytes, only 23 remain; the 54 whole frames
    before it were decoded". ``result`` holds what the whole frames before the
    truncation gave: the decoded samples from :func:`decode`, the description
    from :func:`info`, None from :meth:`Decoder.flush` (its samples were
    returned by earlier calls).
    """

    def __init__(self, message: str, result=None):
        super().__init__(message)
        self.result = result


def _pcm16(pcm) -> np.ndarray:
    """`pcm` as a contiguous 1-D int16 array; integers of other types are
    taken when every value fits in 16 bits."""
    array = np.asarray(pcm)
    if array.ndim != 1:
        raise ValueError(f"pcm must be one channel: a 1-D array, not shape {array.shape}")
    if array.size == 0:
        return np.zeros(0, np.int16)
    if array.dtype.kind not in "iu":
        raise TypeError(
            f"pcm must hold int16 samples, not {array.dtype}; convert float audio with "
            "g723.encode(audio, rate), or scale and round it to int16 first")
    if array.dtype != np.int16:
        low, high = int(array.min()), int(array.max())
        if low < -32768 or high > 32767:
            raise ValueError(f"pcm holds values outside the 16-bit range ({low}..{high})")
        array = array.astype(np.int16)
    return np.ascontiguousarray(array)


def _audio(audio) -> np.ndarray:
    """`audio` as a contiguous 1-D array of one of the sample types taken,
    in native byte order."""
    array = np.asarray(audio)
    if array.ndim != 1:
        raise ValueError(f"audio must be one channel: a 1-D array, not shape {array.shape}")
    if array.dtype.newbyteorder("=") not in _AUDIO_TYPES:
        raise TypeError(
            f"audio must hold float32 or float64 samples (full scale -1..1), int16 or int32 "
            f"samples (full-scale PCM), not {array.dtype}")
    return np.ascontiguousarray(array, dtype=array.dtype.newbyteorder("="))


def _rate(rate) -> int:
    """`rate` as an int within the rates taken."""
    try:
        value = operator.index(rate)
    except TypeError:
        raise TypeError(f"rate must be an integer number of samples per second, not {rate!r}") from None
    if isinstance(rate, bool) or not _MIN_RATE <= value <= _MAX_RATE:
        raise ValueError(f"rate must be between {_MIN_RATE} and {_MAX_RATE} Hz, not {rate!r}")
    return value


def _bytes(data) -> memoryview:
    """`data` as a flat view of bytes."""
    if isinstance(data, str):
        raise TypeError("data must be bytes-like (bytes, bytearray, memoryview, uint8 array), not str")
    try:
        view = memoryview(data)
    except TypeError:
        raise TypeError(
            "data must be bytes-like (bytes, bytearray, memoryview, uint8 array), "
            f"not {type(data).__name__}") from None
    if view.itemsize != 1:
        raise TypeError(f"data must hold bytes, not items of {view.itemsize} bytes ({view.format})")
    if not view.c_contiguous:
        view = memoryview(view.tobytes())
    return view.cast("B") if view.ndim != 1 or view.format != "B" else view


class Encoder:
    """A G.723.1 encoder for a stream given in pieces.

    Parameters
    ----------
    vad : bool
        Silence compression: pauses are sent as SID frames (4 bytes) and
        untransmitted frames (1 byte). Off, every frame is a speech frame.
    multiple_sid : bool
        Send a new SID frame whenever the background noise changes, not only
        the first frame of each pause (``g723 encode --multiple-sid``).
    highpass : bool
        The encoder's input high-pass filter.

    The same settings as ``g723 encode`` give the same bytes.
    """

    def __init__(self, vad: bool = True, multiple_sid: bool = False, highpass: bool = True):
        self._core = _g723.Encoder(bool(vad), bool(multiple_sid), bool(highpass))
        self._settings = (bool(vad), bool(multiple_sid), bool(highpass))

    def encode(self, pcm) -> bytes:
        """Codes 8 kHz int16 samples and returns the bytes of the frames
        they complete, in the compact layout.

        `pcm` is a 1-D array (or sequence) of any length holding int16
        values; other integer types are taken when every value fits in 16
        bits. Samples short of a whole frame are kept for the next call.
        """
        return self._core.encode(_pcm16(pcm))

    def flush(self) -> bytes:
        """Ends the stream and returns its last frames.

        The samples kept are padded with zeros, as ``g723 encode`` pads its
        input: to whole frames, far enough that the encoder's 60-sample
        look-ahead reaches the last sample (one or two frames; none when the
        stream had no samples). The encoder then starts a new stream with the
        same settings.
        """
        return self._core.flush()

    @property
    def frames(self) -> dict:
        """Frames written since the encoder was made, by kind:
        ``{"speech": n, "sid": n, "untransmitted": n}``."""
        return self._core.frames

    @property
    def pending(self) -> int:
        """Samples kept for the next frame."""
        return self._core.pending

    def __repr__(self) -> str:
        vad, multiple_sid, highpass = self._settings
        return f"g723.Encoder(vad={vad}, multiple_sid={multiple_sid}, highpass={highpass})"


class Decoder:
    """A G.723.1 decoder for a compact bit-stream given in pieces.

    Parameters
    ----------
    postfilter : bool
        The decoder's pitch and formant postfilters.

    A 5.3 kbit/s frame is concealed like a lost one, and a frame with
    out-of-range codes is concealed by the decoder, as ``g723 decode`` does;
    :attr:`frames` counts both.
    """

    def __init__(self, postfilter: bool = True):
        self._core = _g723.Decoder(bool(postfilter))
        self._postfilter = bool(postfilter)

    def decode(self, data, lost=None) -> np.ndarray:
        """Decodes the frames that `data` completes into 8 kHz int16 samples
        (240 per frame).

        `data` is bytes-like. Bytes of a frame that is not complete yet are
        kept for the next call. `lost`, if given, holds one flag per frame
        this call completes (including one whose first bytes came in an
        earlier call); a true flag conceals that frame instead of decoding it.
        """
        flags = None
        if lost is not None:
            flags = np.asarray(lost)
            if flags.ndim != 1 or flags.dtype.kind not in "biu":
                raise TypeError("lost must be a 1-D sequence of flags (booleans or integers), one per frame")
            flags = np.ascontiguousarray(flags != 0, dtype=np.uint8)
        return self._core.decode(_bytes(data), flags)

    def conceal(self, n: int) -> np.ndarray:
        """Conceals `n` frames that never arrived and returns their
        240 * `n` samples. Refused while a partial frame is kept."""
        count = operator.index(n)
        if count < 0:
            raise ValueError(f"n must not be negative, not {count}")
        return self._core.conceal(count)

    def flush(self) -> None:
        """Ends the stream and starts a new one.

        Raises :class:`TruncatedStreamError` when bytes of an unfinished
        frame are left (they are dropped), with the tool's message.
        """
        message = self._core.finish()
        if message:
            raise TruncatedStreamError(message)

    @property
    def frames(self) -> dict:
        """Frames decoded since the decoder was made: by kind (``speech``,
        ``speech_5k3``, ``sid``, ``untransmitted``), ``lost`` (marked lost or
        concealed by :meth:`conceal`) and ``invalid`` (refused by the decoder,
        concealed)."""
        return self._core.frames

    @property
    def pending(self) -> int:
        """Bytes of an unfinished frame kept for the next call."""
        return self._core.pending

    def __repr__(self) -> str:
        return f"g723.Decoder(postfilter={self._postfilter})"


def encode(audio, rate: int, *, vad: bool = True, multiple_sid: bool = False, highpass: bool = True) -> bytes:
    """Codes a whole signal as ``g723 encode`` codes a file.

    `audio` is one channel at `rate` Hz (1 kHz to 768 kHz): float32/float64
    at full scale -1..1, int16 as it is, or int32 as full-scale 32-bit PCM.
    Other rates are converted to 8 kHz with soxr, then samples are rounded
    and clipped to 16 bits and the end is padded as :meth:`Encoder.flush`
    does. Returns the compact bit-stream.
    """
    return _g723.encode(_audio(audio), _rate(rate), bool(vad), bool(multiple_sid), bool(highpass))


def _check_stream(view: memoryview) -> None:
    """Refuses an audio file handed over as a bit-stream, as the tool does."""
    if _g723.looks_like_audio_file(view):
        raise ValueError("is an audio file, not a G.723.1 bit-stream")


def decode(data, *, postfilter: bool = True) -> np.ndarray:
    """Decodes a whole compact bit-stream into 8 kHz int16 samples, as
    ``g723 decode`` does.

    Raises :class:`TruncatedStreamError` when the stream ends inside a frame
    (its ``result`` holds the samples of every whole frame), ValueError when
    `data` is plainly an audio file. Frames concealed because the decoder
    cannot use them (5.3 kbit/s, out-of-range codes) are reported by a
    warning, as the tool notes them.
    """
    view = _bytes(data)
    _check_stream(view)
    decoder = Decoder(postfilter)
    samples = decoder.decode(view)
    frames = decoder.frames
    message = decoder._core.finish()
    unsupported, invalid = frames["speech_5k3"], frames["invalid"]
    note = ""
    if unsupported + invalid:
        total = frames["speech"] + frames["speech_5k3"] + frames["sid"] + frames["untransmitted"]
        note = (f"{unsupported + invalid} of {total} frames concealed "
                f"({invalid} invalid, {unsupported} at 5.3 kbit/s)")
    if message:
        raise TruncatedStreamError(message + ("; " + note if note else ""), samples)
    if note:
        warnings.warn(note, stacklevel=2)
    return samples


def roundtrip(audio, rate: int, loss: float = 0.0, seed: int | None = None, vad: bool = True,
              postfilter: bool = True, *, multiple_sid: bool = False, highpass: bool = True) -> np.ndarray:
    """Degrades audio through G.723.1 and returns it at its own rate and type.

    `audio` is one channel at `rate` Hz (1 kHz to 768 kHz): float32/float64
    at full scale -1..1, int16 as it is, or int32 as full-scale 32-bit PCM.
    It is converted to 8 kHz with soxr, rounded and clipped to 16 bits,
    encoded and decoded, and converted back to `rate`. The result has the
    input's length and dtype and is aligned with it: the encoder's 60-sample
    look-ahead is removed. Integer results are rounded and clipped; float
    results are not rounded. At 8 kHz no conversion takes place and int16
    audio gives exactly what :class:`Encoder` then :class:`Decoder` give,
    shifted by the look-ahead.

    `loss` is the probability (0 to 1) of marking each frame lost, to be
    concealed; `seed` chooses those frames (random when None). The same seed
    marks the same frames as ``g723 roundtrip --loss 100*loss --seed seed``
    (``loss=0.07`` as ``--loss 7``): the loss is handed on as that percent.
    `vad`, `multiple_sid` and `highpass` are the encoder's settings,
    `postfilter` the decoder's.
    """
    array = _audio(audio)
    rate = _rate(rate)
    loss = float(loss)
    if not 0.0 <= loss <= 1.0:
        raise ValueError(f"loss must be a probability between 0 and 1, not {loss}")
    if seed is None:
        seed = secrets.randbits(64)
    seed = operator.index(seed)
    if not 0 <= seed < 2**64:
        raise ValueError(f"seed must be between 0 and 2**64 - 1, not {seed}")
    return _g723.degrade(array, rate, bool(vad), bool(multiple_sid), bool(highpass), bool(postfilter),
                         _loss_percent(loss), seed)


def _loss_percent(probability: float) -> float:
    """The percent that `g723 roundtrip --loss` is given for a probability:
    the probability as the shortest decimal that reads back as it, times 100
    exactly, then read as the tool reads its option. So 0.07 becomes 7.0, not
    7.000000000000001 as 0.07 * 100 would, and marks the frames --loss 7 marks."""
    import decimal

    return float(decimal.Decimal(repr(probability)).scaleb(2))


def info(data) -> dict:
    """Describes a compact bit-stream as ``g723 info`` does.

    Returns a dict: ``bytes`` (of whole frames), ``frames``, ``duration``
    (seconds), ``kinds`` (frame counts by kind as :attr:`Decoder.frames`),
    ``bit_rate`` (bit/s, meaningful bytes only) and ``not_clean``, a list of
    ``(byte offset, reason)`` for every frame that does not decode cleanly.
    Every frame is run through a decoder to find them. Raises
    :class:`TruncatedStreamError` when the stream ends inside a frame, its
    ``result`` holding the description (the truncated frame listed in
    ``not_clean``).
    """
    view = _bytes(data)
    _check_stream(view)
    description = _g723.describe(view)
    message = description.pop("truncation")
    if message:
        raise TruncatedStreamError(message, description)
    return description


class FrameKind(enum.IntEnum):
    """What the samples of one 30 ms frame of a captured stream are, as
    :attr:`CaptureStream.frame_kinds` holds them."""

    #: A speech frame as received.
    SPEECH = 0
    #: An SID frame: comfort noise with new parameters.
    SID = 1
    #: Comfort noise going on: silence the sender did not send.
    UNTRANSMITTED = 2
    #: A frame of a packet that never arrived, concealed.
    LOST = 3
    #: Received, but concealed by the decoder (5.3 kbit/s, invalid codes).
    CONCEALED = 4


class CaptureError(ValueError):
    """A packet capture that cannot be read, or that ends in a damaged record.

    The message is the ``g723 pcap`` tool's, the capture's path first, e.g.
    "call.pcap: ends in a damaged record (truncated dump file; ...); the 120
    records before it were used". ``result`` holds what was read before the
    damage (a :class:`Capture` from :func:`read_capture`, a list of
    :class:`Call` from :func:`read_calls`), None when nothing could be read.
    """

    def __init__(self, message: str, result=None):
        super().__init__(message)
        self.result = result


class CaptureStream:
    """One G.723.1 RTP stream of a capture, decoded.

    Attributes
    ----------
    name : str
        As the report names it: "192.0.2.1:5004 > 192.0.2.2:5006 ssrc 0x11223344".
    source, destination : tuple of (str, int)
        Address and UDP port of the sender and of the receiver.
    ssrc : int
    payload_type : int
    payload_type_source : str
        Why the stream is taken as G.723.1: "static" (type 4), "SDP" (a
        dynamic type announced as G723/8000 in the capture) or "--pt" (one of
        the ``payload_types`` asked for, the tool's ``--pt``).
    report : dict
        The stream's fields in ``g723 pcap --json`` (``stream``, ``name``,
        ``packets``, ``lost_frames``, ``jitter_ms``, ...), rounded as the tool
        prints them, without ``output``.
    samples : numpy.ndarray of int16
        The decoded audio, 8 kHz mono: lost frames concealed, untransmitted
        silence as comfort noise.
    frame_kinds : numpy.ndarray of uint8
        The :class:`FrameKind` of every 30 ms frame: frame ``i`` is
        ``samples[240 * i : 240 * (i + 1)]``.
    segment_starts : numpy.ndarray of int64
        The sample at which each segment starts (0 first): the decoder starts
        afresh after an SSRC change or a timestamp jump.
    start : float
        Capture time, in seconds since the epoch, of the first sample.
    cut : bool
        The stream was longer than two hours and was cut there.
    """

    __slots__ = ("name", "source", "destination", "ssrc", "payload_type", "payload_type_source",
                 "report", "samples", "frame_kinds", "segment_starts", "start", "cut")

    def __init__(self, data: dict, report: dict):
        report = dict(report)
        report.pop("output", None)
        self.name = report["name"]
        self.source = data["source"]
        self.destination = data["destination"]
        self.ssrc = data["ssrc"]
        self.payload_type = report["payload_type"]
        self.payload_type_source = report["payload_type_source"]
        self.report = report
        self.samples = data["samples"]
        self.frame_kinds = data["frame_kinds"]
        self.segment_starts = data["segment_starts"]
        self.start = data["start"]
        self.cut = data["cut"]

    @property
    def duration(self) -> float:
        """Seconds of decoded audio."""
        return len(self.samples) / SAMPLE_RATE

    def __repr__(self) -> str:
        return f"<g723.CaptureStream {self.name}, payload type {self.payload_type}, {self.duration:.2f} s>"


class Capture(list):
    """The G.723.1 streams of a capture (:class:`CaptureStream`), in the
    order they started, as ``g723 pcap`` numbers them.

    ``counts`` holds the report's counts about the capture as a whole
    (``{"capture records": 1200, "UDP datagrams": 1180, ...}``, as in
    ``g723 pcap --json``), ``path`` the capture read.
    """

    def __init__(self, streams, counts: dict, path: str):
        super().__init__(streams)
        self.counts = counts
        self.path = path

    def __repr__(self) -> str:
        return f"<g723.Capture {self.path!r}: {len(self)} streams>"


class Call:
    """The two directions of one call, aligned by capture time as
    ``g723 pcap --stereo`` writes them.

    ``first`` and ``second`` are the streams of each direction (several when
    the sender changed SSRC), ``first`` the direction that started first.
    ``samples`` is an int16 array of shape (n, 2): ``first`` in column 0
    (the tool's left channel), ``second`` in column 1, from ``start``
    (capture time in seconds of the earlier stream's first sample); each
    stream lies at its own start time, silence between.
    """

    __slots__ = ("first", "second", "samples", "start")

    def __init__(self, first, second, samples, start: float):
        self.first = first
        self.second = second
        self.samples = samples
        self.start = start

    def __repr__(self) -> str:
        return (f"<g723.Call {self.first[0].name.split(' ssrc')[0]}: "
                f"{len(self.samples) / SAMPLE_RATE:.2f} s>")


def _payload_types(payload_types) -> list:
    """`payload_types` (one type or several) as a list of valid types."""
    if isinstance(payload_types, int):
        payload_types = (payload_types,)
    types = []
    for value in payload_types:
        try:
            number = operator.index(value)
        except TypeError:
            raise TypeError(f"payload_types must hold whole numbers, not {value!r}") from None
        if isinstance(value, bool) or not 0 <= number <= 127:
            raise ValueError(f"payload types are 0 to 127, not {value!r}")
        types.append(number)
    return types


def _srtp_keys(srtp_keys) -> list:
    """SRTP keys as a list of "STREAM SUITE inline:KEY" texts: one text, or
    an iterable of them."""
    keys = [srtp_keys] if isinstance(srtp_keys, str) else list(srtp_keys)
    for key in keys:
        if not isinstance(key, str):
            # Not said back: it may be a key.
            raise TypeError("srtp_keys must hold texts 'STREAM SUITE inline:KEY'")
    return keys


def _read(path, payload_types, postfilter: bool, calls: bool, srtp_keys=()):
    """The capture at `path` decoded: a Capture, its calls when asked, and
    the tool's damage message (empty when whole)."""
    name = os.fspath(path)
    if isinstance(name, bytes):
        name = os.fsdecode(name)
    # Missing and unreadable files raise Python's own errors.
    with open(name, "rb"):
        pass
    try:
        data = _g723.read_capture(name, _payload_types(payload_types), _srtp_keys(srtp_keys), bool(postfilter),
                                  bool(calls))
    except _g723.CaptureError as error:
        raise CaptureError(f"{name}: {error}") from None
    report = json.loads(data["report"])
    capture = Capture([CaptureStream(stream, row) for stream, row in zip(data["streams"], report["streams"])],
                      report["counts"], name)
    found = [Call([capture[i] for i in call["first"]], [capture[i] for i in call["second"]],
                  call["samples"], call["start"]) for call in data["calls"]]
    damage = f"{name}: {data['damage']}" if data["damage"] else ""
    return capture, found, damage


def read_capture(path, payload_types=(), postfilter: bool = True, srtp_keys=()) -> Capture:
    """Decodes every G.723.1 RTP stream of a pcap or pcapng capture, as
    ``g723 pcap`` does.

    A stream is RTP of one SSRC between two addresses with payload type 4,
    one of `payload_types` (a type or several, the tool's ``--pt``), or a dynamic type that
    SIP/SDP in the capture announces as G723/8000. Duplicates are dropped,
    reordered packets put back, lost frames concealed, silence the sender did
    not send played as comfort noise. `postfilter` is the decoder's.

    SRTP streams (RTP/SAVP or RTP/SAVPF in the capture's SDP) are decrypted
    with the keys of the capture's a=crypto lines, or with `srtp_keys`: one
    text or several, "STREAM SUITE inline:KEY" as the tool's ``--srtp-key``
    takes them. Their report says ``encrypted``, ``srtp_suite``,
    ``key_source`` ("SDP", "given", None without a key: then no audio) and
    counts ``authentication_failures`` and ``replayed``, packets never
    decoded. A key that cannot be used raises ValueError, which never holds
    the key.

    Returns a :class:`Capture`: a list of :class:`CaptureStream` in the
    report's order, each with its report fields (those of ``g723 pcap
    --json``), audio, frame kinds and segments, and the capture's counts.

    Raises :class:`CaptureError` with the tool's message when the capture
    cannot be read, or when it ends in a damaged record; then the
    exception's ``result`` holds the streams read before the damage. The GIL
    is released while reading and decoding.
    """
    capture, _, damage = _read(path, payload_types, postfilter, False, srtp_keys)
    if damage:
        raise CaptureError(damage, capture)
    return capture


def read_calls(path, payload_types=(), postfilter: bool = True, srtp_keys=()) -> list:
    """Pairs the two directions of each call of a capture, as
    ``g723 pcap --stereo`` does, and returns a list of :class:`Call` with
    their audio aligned by capture time.

    Two directions belong to one call when SDP of the same Call-ID announced
    both destinations or, where SDP does not name both, when each goes where
    the other comes from; a direction without a partner is left out (see
    :func:`read_capture`). The arguments and errors are those of
    :func:`read_capture`; a damaged capture's ``result`` holds the calls
    read before the damage.
    """
    _, calls, damage = _read(path, payload_types, postfilter, True, srtp_keys)
    if damage:
        raise CaptureError(damage, calls)
    return calls


def __dir__() -> list:
    """The package's own names: the modules it uses inside (numpy, os, json,
    ...) are not part of what it offers."""
    return sorted(__all__ + ["__doc__", "__file__", "__name__", "__package__", "__path__", "__spec__"])
