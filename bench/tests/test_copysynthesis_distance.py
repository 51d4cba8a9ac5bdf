"""The distances of the sampling-rate benchmark, on signals whose distances are known."""
import pathlib
import sys

import numpy as np
import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent))
import copysynthesis_distance as sd  # noqa: E402

MCD_PER_C = 10 / np.log(10) * np.sqrt(2)  # MCD of a difference of 1 in one coefficient


def noise(fs, seconds, level=0.1, seed=1):
    return level * np.random.default_rng(seed).standard_normal(int(round(seconds * fs)))


def filtered(x, fs, gain_of_hz):
    """x through a zero-phase filter of the given linear gain per frequency (Hz), by the DFT."""
    f = np.fft.rfftfreq(len(x), 1 / fs)
    return np.fft.irfft(np.fft.rfft(x) * gain_of_hz(f), len(x))


@pytest.mark.parametrize("fs", [22050, 44100, 48000])
def test_a_signal_against_itself_is_at_distance_zero(fs):
    x = noise(fs, 0.3)
    d = sd.distances(x, x, fs)
    assert (d["mcd"], d["lsd"], d["lag"]) == (0.0, 0.0, 0)
    length, shift, nfft = sd.framing(fs)
    assert nfft == {22050: 1024, 44100: 2048, 48000: 2048}[fs]
    assert d["frames"] == (len(x) - length) // shift + 1


def test_a_delay_within_40_ms_is_found_and_costs_nothing():
    fs = 48000
    x = noise(fs, 0.5)
    late = np.concatenate([np.zeros(480), x])  # 10 ms, two frame shifts
    d = sd.distances(x, late, fs)
    assert (d["mcd"], d["lsd"], d["lag"], d["lag_samples"]) == (0.0, 0.0, 2, 480)
    d = sd.distances(late, x, fs)
    assert (d["mcd"], d["lsd"], d["lag"]) == (0.0, 0.0, -2)
    assert sd.distances(x, late, fs, max_lag=0)["mcd"] > 1.0


def test_a_delay_beyond_40_ms_is_not_searched():
    fs = 48000
    x = noise(fs, 0.5)
    d = sd.distances(x, np.concatenate([np.zeros(2880), x]), fs)  # 60 ms
    assert abs(d["lag"]) <= 8 and d["mcd"] > 1.0


@pytest.mark.parametrize("gain_db", [-6.0, 3.0, 10.0])
def test_a_gain_is_the_log_spectral_distance_and_no_cepstral_distortion(gain_db):
    fs = 44100
    x = noise(fs, 0.3)
    d = sd.distances(x, x * 10 ** (gain_db / 20), fs)
    assert d["lag"] == 0
    assert d["lsd"] == pytest.approx(abs(gain_db), abs=1e-6)
    assert d["mcd"] < 1e-6


@pytest.mark.parametrize("fs", [22050, 44100, 48000])
def test_a_tilt_along_the_warped_frequency_is_the_first_cepstral_coefficient(fs):
    # ln|H| = t cos(w), w the warped frequency: on the warped grid the inverse FFT holds t / 2 at
    # quefrencies 1 and -1 and nothing else, so c1 moves by t / 2 and no other coefficient moves.
    # Warping the wrong way (or not at all) would spread the tilt over c2, c3, ...
    tilt, alpha = 0.5, sd.WARPING[fs]
    x = noise(fs, 0.5)
    y = filtered(x, fs, lambda f: np.exp(tilt * np.cos(sd.allpass_warp(2 * np.pi * f / fs, alpha))))
    pr, pt = sd.power_spectra(x, fs), sd.power_spectra(y, fs)
    delta = np.mean(sd.warped_cepstra(pt, alpha) - sd.warped_cepstra(pr, alpha), axis=0)
    assert delta[1] == pytest.approx(tilt / 2, rel=0.01)
    assert np.max(np.abs(delta[2:])) < 0.01 * tilt
    assert sd.distances(x, y, fs)["mcd"] == pytest.approx(MCD_PER_C * tilt / 2, rel=0.02)
    unwarped = np.mean(sd.warped_cepstra(pt, 0.0) - sd.warped_cepstra(pr, 0.0), axis=0)
    assert np.max(np.abs(unwarped[2:])) > 0.05 * tilt


def test_the_log_spectral_distance_covers_8_to_20_khz_only():
    fs = 48000
    x = noise(fs, 0.3)
    below = filtered(x, fs, lambda f: np.where(f < 7500, 2.0, 1.0))
    d = sd.distances(x, below, fs)
    assert d["lsd"] < 1e-3 and d["mcd"] > 0.5
    above = filtered(x, fs, lambda f: np.where(f > 20500, 3.0, 1.0))
    assert sd.distances(x, above, fs)["lsd"] < 1e-3
    assert sd.distances(x, above, fs, band=(8000, 24000))["lsd"] > 1.0
    middle = filtered(x, fs, lambda f: np.where((f > 7500) & (f < 20500), 2.0, 1.0))
    assert sd.distances(x, middle, fs)["lsd"] == pytest.approx(20 * np.log10(2), abs=1e-3)


def test_two_noises_of_one_spectrum_differ_by_the_spread_of_a_log_ratio():
    # The power of a bin of white noise is exponentially distributed; the log of the ratio of two
    # independent ones has standard deviation pi / sqrt(3) nepers: an RMS of 7.88 dB (the mean of
    # the frames' RMS values lies a little below).
    fs = 48000
    d = sd.distances(noise(fs, 1.0, seed=4), noise(fs, 1.0, seed=5), fs, max_lag=0)
    assert d["lsd"] == pytest.approx(10 / np.log(10) * np.pi / np.sqrt(3), abs=0.15)


def test_the_band_ends_at_half_the_rate_below_40_khz():
    mask = sd.band_bins(22050, 1024)
    f = np.flatnonzero(mask) * 22050 / 1024
    assert f[0] >= 8000 and f[0] - 22050 / 1024 < 8000 and f[-1] < 11025 and mask.sum() == 1024 // 2 - 372
    x = noise(16000, 0.2)
    assert not sd.band_bins(16000, 512).any() and np.isnan(sd.distances(x, 0.5 * x, 16000)["lsd"])


def test_a_shorter_test_signal_is_compared_on_the_frames_it_has():
    fs = 22050
    x = noise(fs, 0.4)
    d = sd.distances(x, x[: fs // 5], fs)
    assert (d["mcd"], d["lag"]) == (0.0, 0) and d["frames"] == (fs // 5 - 551) // 110 + 1


@pytest.mark.parametrize("quiet_db, counted", [(-60, False), (-30, True)])
def test_only_frames_within_40_db_of_the_loudest_count(quiet_db, counted):
    # A loud stretch, 100 ms of silence, then a quiet stretch that differs between the signals.
    fs = 22050
    loud, gap = noise(fs, 0.4), np.zeros(int(0.1 * fs))
    quiet_a = noise(fs, 0.3, 0.1 * 10 ** (quiet_db / 20), seed=2)
    quiet_b = noise(fs, 0.3, 0.1 * 10 ** (quiet_db / 20), seed=3)
    d = sd.distances(np.concatenate([loud, gap, quiet_a]), np.concatenate([loud, gap, quiet_b]), fs, max_lag=0)
    assert d["mcd"] > 0.5 if counted else d["mcd"] == 0.0


def test_resampling_by_the_dft_interpolates_a_band_limited_signal():
    t16, t44 = np.arange(16000) / 16000, np.arange(44100) / 44100
    tone = lambda t: 0.5 * np.sin(2 * np.pi * 440 * t) + 0.2 * np.cos(2 * np.pi * 7000 * t)  # noqa: E731
    assert np.max(np.abs(sd.resample(tone(t16), 16000, 44100) - tone(t44))) < 1e-9
    assert np.max(np.abs(sd.resample(tone(t44), 44100, 16000) - tone(t16))) < 1e-9
    t48 = np.arange(4800) / 48000
    down = sd.resample(np.sin(2 * np.pi * 1000 * t48) + np.sin(2 * np.pi * 12000 * t48), 48000, 16000)
    assert len(down) == 1600 and np.max(np.abs(down - np.sin(2 * np.pi * 1000 * np.arange(1600) / 16000))) < 1e-9
    assert len(sd.resample(np.ones(1001), 16000, 22050)) == round(1001 * 22050 / 16000)


def test_wav_files_round_trip_at_16_bits(tmp_path):
    x = np.round(noise(44100, 0.05) * 32768) / 32768
    sd.write_wav(tmp_path / "a.wav", x, 44100)
    y, fs = sd.read_wav(tmp_path / "a.wav")
    assert fs == 44100 and np.array_equal(x, y)
