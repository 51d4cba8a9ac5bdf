"""velk.features: frame counts and times on the grid, the vocoder's F0 at the grid's centres, the
voicing probability's threshold and calibration, inputs of both float types, threads."""
import math
import pathlib
import sys
import warnings
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

import velk
from conftest import SAMPLE_FILES

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent.parent / "bench"))
import known_f0  # noqa: E402

ALL = ("f0", "vuv", "voicing", "lf0", "energy", "cc", "fv", "margin")


@pytest.mark.parametrize("hop,window", [(256, 1024), (120, 480), (160, 400)])
def test_frame_counts_and_times_follow_the_grid(hop, window):
    x = np.random.default_rng(1).normal(0, 0.01, max(3 * hop, window) + 1)
    for n in sorted({0, 1, hop - 1, hop, hop + 1, window - 1, window, 2 * hop, 3 * hop, 3 * hop + 1}):
        centred = velk.features(x[:n], 24000, hop=hop, window=window, features=("energy",))
        assert len(centred.energy) == 1 + n // hop
        np.testing.assert_array_equal(centred.times, np.arange(1 + n // hop) * hop / 24000)
        plain = velk.features(x[:n], 24000, hop=hop, window=window, center=False, features=("energy",))
        count = 0 if n < window else 1 + (n - window) // hop
        assert plain.energy.shape == (count,)
        np.testing.assert_array_equal(plain.times, (np.arange(count) * hop + window // 2) / 24000)


def test_the_f0_is_the_encoders_on_its_own_grid():
    x, fs = velk.read_wav(SAMPLE_FILES[0])
    e = velk.encode(x, fs)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # the dither's warning, as encode gives it
        f = velk.features(x, fs, hop=e.lframe, window=4 * e.lframe, features=ALL)
    n = len(e.lf0)
    assert len(f.f0) in (n, n + 1)
    np.testing.assert_array_equal(e.lf0 > -1e9, f.f0[:n] > 0)
    np.testing.assert_allclose(np.exp(e.lf0[e.lf0 > -1e9]), f.f0[:n][f.f0[:n] > 0], rtol=1e-14)
    np.testing.assert_array_equal(e.cc, f.cc[:n])
    assert f.cc.shape == (len(f.f0), e.cc.shape[1])
    np.testing.assert_array_equal(f.vuv, (f.f0 > 0).astype(float))
    np.testing.assert_array_equal(f.voicing > 0.5, f.f0 > 0)
    np.testing.assert_array_equal((f.margin > 0) | (f.f0 == 0), True)  # removed islands only flip down
    voiced = f.f0 > 0
    # The C library's log, as the extractor takes it: numpy's vectorised log may differ by an ulp.
    np.testing.assert_array_equal(f.lf0[voiced], [math.log(v) for v in f.f0[voiced]])
    assert set(f) == set(ALL) | {"times"} and f.f0 is f["f0"]


def test_float32_and_float64_inputs_and_hops_in_milliseconds():
    x = velk.read_wav(SAMPLE_FILES[-1])[0].astype(np.float32)
    a = velk.features(x, 16000, hop_ms=10, window=400)
    b = velk.features(x.astype(np.float64), 16000, hop=160, window=400)
    assert a.hop == 160 and b.window == 400 and a.center
    for name in ("f0", "vuv", "voicing", "lf0", "energy", "times"):
        np.testing.assert_array_equal(a[name], b[name])
        assert a[name].dtype == np.float64
    assert velk.features(x, 22050, hop_ms=12.5, features=("f0",)).hop == 276  # 275.625


def test_threads_give_the_serial_results():
    signals = [velk.read_wav(p)[0] for p in SAMPLE_FILES]

    def run(x):
        r = velk.features(x, 16000, hop=100, window=400, features=ALL)
        return b"".join(r[k].tobytes() for k in ALL)

    serial = [run(x) for x in signals]
    with ThreadPoolExecutor(2) as pool:
        assert list(pool.map(run, signals * 2)) == serial * 2


def test_bad_arguments_are_refused():
    x = np.zeros(1000)
    for kwargs, words in [(dict(features=("pitch",)), "unknown feature"), (dict(features=()), "at least one"),
                          (dict(hop=0), "hop"), (dict(window=0), "window"), (dict(f0max=8000), "f0max"),
                          (dict(f0min=10), "f0min"), (dict(hop_ms=0.01), "hop_ms")]:
        with pytest.raises(ValueError, match=words):
            velk.features(x, 16000, **kwargs)
    with pytest.raises(ValueError, match="fs"):
        velk.features(x, 4000)
    with pytest.raises(ValueError, match="non-finite"):
        velk.features(np.array([0.0, np.nan]), 16000)


def test_singing_range_and_a_file_without_voice():
    fs = 44100
    t = np.arange(fs) / fs
    x = sum(0.3 / k * np.sin(2 * np.pi * k * 1500 * t) for k in range(1, 14))
    f = velk.features(x, fs, hop=512, window=2048, f0min=30, f0max=2000)
    np.testing.assert_allclose(f.f0[5:-5], 1500, rtol=0.01)
    quiet = velk.features(np.random.default_rng(3).normal(0, 1e-4, fs), fs, features=("lf0", "vuv", "voicing"))
    assert not quiet.vuv.any() and not quiet.lf0.any() and (quiet.voicing <= 0.5).all()


def test_the_voicing_probability_is_calibrated_on_voices_of_known_voicing():
    # Frames binned by probability: each bin's voiced fraction within 0.1 of its centre (bins of
    # fewer than 100 frames say little and are not held to it).
    probability, truth = [], []
    for seed in range(8):
        rng = np.random.default_rng(20000 + seed)
        singing = seed % 2 == 1
        x, voiced, f0 = known_f0.voice(22050, rng, (200, 1000) if singing else (80, 300),
                                       snr_db=(40, 30, 20, 15)[seed % 4])
        r = velk.features(x, 22050, f0max=1200 if singing else 500, features=("voicing",))
        probability.append(r.voicing)
        truth.append(known_f0.frame_truth(voiced, f0, np.arange(len(r.voicing)) * 256)[0])
    rows = known_f0.reliability(np.concatenate(probability), np.concatenate(truth))
    held = [(low, fraction) for low, high, n, fraction in rows if n >= 100]
    assert len(held) >= 3
    for low, fraction in held:
        assert abs(fraction - (low + 0.05)) <= 0.1, rows
