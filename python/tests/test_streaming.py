# SPDX-License-Identifier: BSD-2-Clause
"""Streaming in pieces, marked losses and threads give the one-call results."""

import threading

import numpy as np

import g723


def chunks(sequence, sizes):
    start = 0
    for size in sizes:
        yield sequence[start:start + size]
        start += size
    yield sequence[start:]


def test_uneven_pieces_give_the_one_call_result(speech):
    encoder = g723.Encoder()
    whole = encoder.encode(speech) + encoder.flush()
    sizes = [1, 7, 239, 240, 241, 0, 1000, 3, 4797]
    pieces = [encoder.encode(piece) for piece in chunks(speech, sizes)]
    assert encoder.pending == len(speech) % 240
    assert b"".join(pieces) + encoder.flush() == whole
    assert encoder.pending == 0 and encoder.encode(speech) + encoder.flush() == whole  # a new stream

    decoder = g723.Decoder()
    expected = decoder.decode(whole)
    decoder.flush()  # a new stream from the start
    pieces = [decoder.decode(piece) for piece in chunks(whole, [1, 2, 23, 24, 25, 0, 3, 400, 1, 1])]
    assert decoder.pending == 0
    assert np.array_equal(np.concatenate(pieces), expected)
    decoder.decode(memoryview(whole)[:30])
    assert decoder.pending == 30 - len(g723.Decoder().decode(whole[:30])) // 240 * 24


def test_lost_conceals_exactly_the_marked_frames(speech):
    coded = g723.encode(speech, 8000)
    frames = []
    while len(b"".join(frames)) < len(coded):
        start = len(b"".join(frames))
        frames.append(coded[start:start + (24, 20, 4, 1)[coded[start] & 3]])
    speech_frames = [i for i, frame in enumerate(frames) if len(frame) == 24]
    chosen = speech_frames[20:22] + speech_frames[100:101]
    marked = np.zeros(len(frames), bool)
    marked[chosen + [len(frames) - 1]] = True

    decoder = g723.Decoder()
    result = decoder.decode(coded, lost=marked)
    assert decoder.frames["lost"] == marked.sum()
    # Frame by frame, the marked ones through conceal(): the same samples.
    reference = g723.Decoder()
    expected = [reference.conceal(1) if lost else reference.decode(frame) for frame, lost in zip(frames, marked)]
    assert np.array_equal(result, np.concatenate(expected))
    clean = g723.decode(coded).reshape(-1, 240)
    assert np.array_equal(result[:chosen[0] * 240], clean[:chosen[0]].ravel())
    assert all(not np.array_equal(result.reshape(-1, 240)[i], clean[i]) for i in chosen)

    # Flags cover the frame a call completes, also one begun in the call before.
    split = g723.Decoder()
    first = split.decode(coded[:30], lost=[False])
    second = split.decode(coded[30:], lost=marked[1:])
    assert np.array_equal(np.concatenate([first, second])[240:], result[240:])


def test_two_threads_code_as_one(speech):
    audio = np.repeat(speech, 2).astype(np.float32) / 32768
    expected = (g723.encode(speech, 8000), g723.roundtrip(audio, 16000, seed=7, loss=0.1))
    results = [None, None]
    start = threading.Barrier(2)

    def work(index):
        start.wait()
        outcomes = []
        for _ in range(3):
            encoder = g723.Encoder()
            coded = b"".join(encoder.encode(piece) for piece in chunks(speech, [999] * 50)) + encoder.flush()
            outcomes.append((coded, g723.roundtrip(audio, 16000, seed=7, loss=0.1)))
        results[index] = outcomes

    threads = [threading.Thread(target=work, args=(i,)) for i in range(2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for outcomes in results:
        for coded, degraded in outcomes:
            assert coded == expected[0] and np.array_equal(degraded, expected[1])

    # One encoder shared by two threads: calls are serialised, nothing lost.
    shared = g723.Encoder(vad=False)
    out = [[], []]
    threads = [threading.Thread(target=lambda i=i: out[i].extend(shared.encode(speech[:24000]) for _ in range(5)))
               for i in range(2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert sum(len(b"".join(o)) for o in out) == 10 * 100 * 24 and shared.frames["speech"] == 1000
