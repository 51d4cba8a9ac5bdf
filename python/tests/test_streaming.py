"""velk.Decoder: frames pushed in blocks give, one block after the other, exactly the samples of
velk.decode of the whole streams."""
import numpy as np
import pytest

import velk
from conftest import SAMPLES


def random_blocks(frames, rng, ones=False):
    """Block sizes covering the frames: all ones, or random sizes from 1 to 50."""
    sizes, done = [], 0
    while done < frames:
        n = 1 if ones else min(int(rng.integers(1, 51)), frames - done)
        sizes.append(n)
        done += n
    return sizes


def streamed(decoder, streams, blocks, with_fv=True):
    parts, k = [], 0
    for n in blocks:
        fv = streams.fv[k:k + n] if with_fv else None
        parts.append(decoder.push(streams.lf0[k:k + n], streams.cc[k:k + n], fv))
        assert len(parts[-1]) == n * decoder.latency
        k += n
    parts.append(decoder.flush())
    return np.concatenate(parts)


SETTINGS = {
    "default": {},
    "prosody": {"fpitch": 1.3, "fdur": 1.4, "fwarp": 0.1},
    "range-and-filters": {"fvpitch": 0.5, "fdrc": 0.6, "floud": 1.0, "fpfilt": 0.4},
}


@pytest.mark.parametrize("name", SETTINGS)
@pytest.mark.parametrize("with_fv", [True, False], ids=["fv", "no-fv"])
def test_any_split_gives_the_samples_of_decode(streams, name, with_fv):
    options = SETTINGS[name]
    expected = velk.decode(streams.lf0, streams.cc, streams.fv if with_fv else None, **options)
    rng = np.random.default_rng(7)
    for trial in range(3):
        decoder = velk.Decoder(**options)
        if options.get("fvpitch", 1) != 1 or options.get("fdrc", 0) != 0 or not with_fv:
            decoder.survey(streams.lf0, streams.cc, streams.fv if with_fv else None)
        blocks = random_blocks(len(streams.lf0), rng, ones=trial == 0)
        got = streamed(decoder, streams, blocks, with_fv)
        assert got.tobytes() == expected.tobytes(), (name, trial)
        assert decoder.frames == len(streams.lf0)


def test_another_rate_streams_as_decode_synthesises():
    x = velk.read_wav(SAMPLES / "wide" / "ktuberling22k_ca_words.wav")[0]
    streams = velk.encode(x[:22050], 22050)
    expected = velk.decode(streams, fdur=0.8, fpitch=0.9)
    decoder = velk.Decoder(fs=22050, fdur=0.8, fpitch=0.9)
    assert decoder.latency == int(110 * 0.8)
    got = streamed(decoder, streams, random_blocks(len(streams.lf0), np.random.default_rng(3)))
    assert got.tobytes() == expected.tobytes()


def test_streams_of_another_rate_need_their_rate():
    # a 48 kHz voice whose voiced frequencies stay below 8 kHz: only the order tells
    x, fs = velk.read_wav(SAMPLES / "wide" / "alsa48k_Front_Center.wav")
    e = velk.encode(x[:24000], fs)
    assert e.cc.shape[1] == 50 and np.max(e.fv) < 8000
    with pytest.raises(ValueError, match="cc has order 49, not the 16000 Hz default 39: pass fs"):
        velk.Decoder().push(e.lf0, e.cc, e.fv)
    decoder = velk.Decoder(fs=e.fs, lframe=e.lframe, alpha=e.alpha, morvscale=e.morvscale)
    got = streamed(decoder, e, random_blocks(len(e.lf0), np.random.default_rng(5)))
    assert got.tobytes() == velk.decode(e).tobytes()


def test_settings_that_need_all_frames_are_refused_without_a_survey(streams):
    decoder = velk.Decoder(fvpitch=0.5)
    with pytest.raises(ValueError, match="survey"):
        decoder.push(streams.lf0[:3], streams.cc[:3], streams.fv[:3])
    decoder = velk.Decoder()
    with pytest.raises(ValueError, match="no fv"):
        decoder.push(streams.lf0[:3], streams.cc[:3])


def test_blocks_must_keep_the_shape_of_the_first(streams):
    decoder = velk.Decoder(fs=16000)  # the rate given: a block of another order meets the shape rule
    decoder.push(streams.lf0[:2], streams.cc[:2], streams.fv[:2])
    with pytest.raises(ValueError, match="cc rows"):
        decoder.push(streams.lf0[2:4], streams.cc[2:4, :10], streams.fv[2:4])
    with pytest.raises(ValueError, match="fv must be given"):
        decoder.push(streams.lf0[2:4], streams.cc[2:4])
    with pytest.raises(ValueError, match="survey must come before"):
        decoder.survey(streams.lf0, streams.cc, streams.fv)
    decoder.flush()
    with pytest.raises(ValueError, match="flushed"):
        decoder.push(streams.lf0[2:4], streams.cc[2:4], streams.fv[2:4])


def test_no_frames_give_the_silent_tail():
    decoder = velk.Decoder()
    assert decoder.flush().tolist() == [0.0] * 81


def test_decoders_in_threads_give_the_serial_samples(streams):
    """Each record holds its own noise generator and phase: decoders pushed from threads side by
    side give the samples of serial runs, and threads sharing one decoder take turns."""
    from concurrent.futures import ThreadPoolExecutor

    expected = velk.decode(streams.lf0, streams.cc, streams.fv)

    def run(seed):
        return streamed(velk.Decoder(), streams, random_blocks(len(streams.lf0), np.random.default_rng(seed)))

    with ThreadPoolExecutor(4) as pool:
        for y in pool.map(run, range(8)):
            assert y.tobytes() == expected.tobytes()

    shared = velk.Decoder()
    with ThreadPoolExecutor(4) as pool:
        sizes = list(pool.map(lambda k: len(shared.push(streams.lf0[:3], streams.cc[:3], streams.fv[:3])),
                              range(40)))
    assert sizes == [240] * 40 and shared.frames == 120
