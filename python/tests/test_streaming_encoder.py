"""velk.Encoder: samples pushed in blocks give the frames of velk.encode; without a lookahead
exactly, for any split; with one, at a bounded latency and nearly always the same frames."""
import numpy as np
import pytest

import velk
from conftest import SAMPLES


def pushed(encoder, x, rng, largest):
    """Pushes x in random blocks of 1 to `largest` samples; returns the joined streams and the
    samples pushed when each frame came."""
    parts, came, done = [], [], 0
    while done < len(x):
        n = min(int(rng.integers(1, largest + 1)), len(x) - done)
        part = encoder.push(x[done:done + n])
        done += n
        parts.append(part)
        came += [done] * len(part.lf0)
    parts.append(encoder.flush())
    came += [None] * len(parts[-1].lf0)
    joined = [np.concatenate([getattr(p, s) for p in parts]) for s in ("lf0", "cc", "fv")]
    return joined, came


def test_without_lookahead_any_split_gives_encode():
    x, fs = velk.read_wav(SAMPLES / "en_vm-deleted.wav")
    whole = velk.encode(x, fs, f0acc=2)
    rng = np.random.default_rng(3)
    for largest in (1, 700, len(x)):
        encoder = velk.Encoder(fs=fs, f0acc=2)
        assert encoder.latency is None
        (lf0, cc, fv), came = pushed(encoder, x, rng, largest)
        assert all(c is None for c in came)  # nothing is final before the end
        np.testing.assert_array_equal(lf0, whole.lf0)
        np.testing.assert_array_equal(cc, whole.cc)
        np.testing.assert_array_equal(fv, whole.fv)


@pytest.mark.parametrize("name", ["en_vm-deleted.wav", "wide/ktuberling22k_ca_words.wav"])
def test_lookahead_frames_come_within_the_latency(name):
    x, fs = velk.read_wav(SAMPLES / name)
    whole = velk.encode(x, fs)
    encoder = velk.Encoder(fs=fs, lookahead=10)
    (lf0, cc, fv), came = pushed(encoder, x, np.random.default_rng(5), int(fs) // 100)
    assert len(lf0) == len(whole.lf0) and cc.shape == whole.cc.shape
    for k, at in enumerate(came):
        if at is not None:
            assert at <= k * whole.lframe + encoder.latency + fs // 100
        else:
            assert k * whole.lframe + encoder.latency + fs // 100 > len(x) - 1
    # The decisions with a bounded view agree with the whole analysis's on nearly every frame.
    assert np.mean(lf0 == whole.lf0) > 0.95
    assert np.mean(np.all(cc == whole.cc, axis=1)) > 0.95


def test_the_results_carry_the_settings_and_the_encoder_refuses_misuse():
    x, fs = velk.read_wav(SAMPLES / "it_vm-goodbye.wav")
    encoder = velk.Encoder(fs=fs, lookahead=4, lframe=100, ccord=24)
    part = encoder.push((x * 32768).astype(np.int16))
    rest = encoder.flush()
    for e in (part, rest):
        assert (e.fs, e.lframe, e.ccord) == (fs, 100, 24)
        assert e.cc.shape[1] == 25
    assert len(part.lf0) + len(rest.lf0) == len(velk.encode(x, fs, lframe=100, ccord=24).lf0)
    with pytest.raises(ValueError, match="flushed"):
        encoder.push(x)
    with pytest.raises(ValueError, match="lookahead"):
        velk.Encoder(lookahead=0)
    with pytest.raises(ValueError):
        velk.Encoder(fs=16000).push(np.array([np.nan, 0.0]))
