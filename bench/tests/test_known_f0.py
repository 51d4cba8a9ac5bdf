"""The measures of the known-F0 benchmarks and the calibration fit, on cases with known answers."""
import pathlib
import sys

import numpy as np
import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent))
import known_f0  # noqa: E402
import voicing_calibration  # noqa: E402


def test_gross_and_voicing_errors_are_counted_on_their_frames():
    true_voiced = np.array([1, 1, 1, 1, 0, 0], bool)
    true_f0 = np.array([100.0, 100, 200, 400, 0, 0])
    # frame 1 is 21 % off, frame 2 an octave down; frame 3 missed, frame 4 voiced in error
    est = np.array([110.0, 121, 100, 0, 150, 0])
    gpe, vde = known_f0.errors(est, true_voiced, true_f0)
    assert gpe == pytest.approx(100 * 2 / 3) and vde == pytest.approx(100 * 2 / 6)


def test_reliability_bins_include_one_in_the_last():
    rows = known_f0.reliability(np.array([0.0, 0.05, 0.5, 0.95, 1.0]), np.array([0, 1, 1, 1, 0], bool))
    assert [r[2] for r in rows] == [2, 0, 0, 0, 0, 1, 0, 0, 0, 2]
    assert rows[0][3] == 0.5 and rows[5][3] == 1.0 and rows[9][3] == 0.5 and np.isnan(rows[1][3])


def test_the_synthetic_voice_knows_its_voicing_and_f0():
    x, voiced, f0 = known_f0.voice(16000, np.random.default_rng(0), (100, 200), notes=3, snr_db=40)
    assert len(x) == len(voiced) == len(f0) and np.max(np.abs(x)) <= 0.9 + 1e-12
    assert np.array_equal(f0 > 0, voiced) and 90 <= f0[voiced].min() and f0[voiced].max() <= 220
    # Notes are louder than the breath noise and silences between them.
    assert np.mean(x[voiced] ** 2) > 5 * np.mean(x[~voiced] ** 2)
    centres = np.array([0, len(x) - 1, len(x) + 5])
    v, f = known_f0.frame_truth(voiced, f0, centres)
    assert not v[2] and f[2] == 0 and v[1] == voiced[-1]


def test_a_note_has_its_f0():
    fs, n = 16000, 8000
    x = known_f0.note(np.full(n, 250.0), fs, "a")
    spectrum = np.abs(np.fft.rfft(x * np.hanning(n)))
    peaks = np.argsort(spectrum)[-3:] * fs / n
    assert all(abs(p / 250 - round(p / 250)) < 0.01 for p in peaks)


def test_isotonic_regression_pools_violators():
    centres, means, sizes = voicing_calibration.isotonic(np.array([0, 1, 2, 3, 4.0]), np.array([0, 1, 0, 1, 1]))
    # Only a decrease is pooled: equal neighbours stay apart.
    assert list(means) == [0.0, 0.5, 1.0, 1.0] and list(sizes) == [1, 2, 1, 1]
    assert list(centres) == [0.0, 1.5, 3.0, 4.0]
    assert np.all(np.diff(means) >= 0)
