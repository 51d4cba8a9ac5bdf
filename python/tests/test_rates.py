"""Analysis and synthesis at the signal's own rate, from 8 to 48 kHz: defaults by the rate, the F0
of a known signal, the 16 kHz analysis of the same speech, envelopes and frame times."""
import numpy as np
import pytest

import velk
from conftest import SAMPLES

RATES = [8000, 11025, 16000, 22050, 24000, 32000, 44100, 48000]
FRAME_SHIFTS = {8000: 40, 11025: 55, 16000: 80, 22050: 110, 24000: 120, 32000: 160, 44100: 220, 48000: 240}


def harmonics(fs, seconds, f0, top):
    """Harmonics of f0 up to `top` Hz with amplitudes falling as 1/sqrt(k), at fs Hz."""
    t = np.arange(int(round(seconds * fs))) / fs
    count = int(top // f0)
    return sum(0.3 / np.sqrt(k) * np.sin(2 * np.pi * k * f0 * t + k) for k in range(1, count + 1)) / np.sqrt(count)


@pytest.mark.parametrize("fs", RATES)
def test_every_rate_round_trips_with_its_defaults(fs):
    x = harmonics(fs, 0.5, 150.0, min(fs / 2 - 150, 6000))
    e = velk.encode(x, fs)
    assert (e.fs, e.lframe) == (fs, FRAME_SHIFTS[fs])
    assert e.cc.shape == (len(e.lf0), 40 if fs <= 16000 else 50)
    y = velk.decode(e)
    assert len(y) == (len(e.lf0) + 1) * e.lframe + 1
    # The copy keeps the level and the pitch: its strongest spectral line lies at a harmonic.
    middle = y[len(y) // 4 : 3 * len(y) // 4]
    assert 0.3 < np.std(middle) / np.std(x) < 3
    spectrum = np.abs(np.fft.rfft(middle * np.hanning(len(middle))))
    peak = np.argmax(spectrum) * fs / len(middle)
    assert abs(peak / 150.0 - round(peak / 150.0)) < 0.05


def test_a_sinusoid_at_44k_gives_its_f0_and_a_voiced_band_above_8k():
    x = harmonics(44100, 1.0, 200.0, 15000)
    e = velk.encode(x, 44100)
    middle = slice(20, -20)
    assert np.all(e.lf0[middle] > -1e9)
    assert np.allclose(np.exp(e.lf0[middle]), 200.0, rtol=5e-3)
    assert np.median(e.fv[middle]) > 8000
    assert np.all(e.fv <= 22050)


@pytest.mark.parametrize("fs,lframe", [(44100, 441), (48000, 480)])
def test_the_f0_at_a_high_rate_agrees_with_the_16k_analysis(fs, lframe):
    # Both on a 10 ms grid: at the native rate, and resampled to 16 kHz as --fs=16000 does.
    speech = np.concatenate([velk.read_wav(p, fs=fs)[0] for p in sorted(SAMPLES.glob("*.wav"))])
    native = velk.encode(speech, fs, lframe=lframe, voicing=False).lf0
    reference = velk.encode(speech, fs, resample=16000, lframe=160, voicing=False).lf0
    n = min(len(native), len(reference))
    assert abs(len(native) - len(reference)) <= 1
    voiced, voicedref = native[:n] > -1e9, reference[:n] > -1e9
    assert np.mean(voiced == voicedref) >= 0.98
    both = voiced & voicedref
    gross = np.abs(np.exp(native[:n][both]) / np.exp(reference[:n][both]) - 1) > 0.2
    assert np.mean(gross) <= 0.01


def test_envelopes_are_the_cepstra_as_spectra():
    # c0 alone: a flat envelope of e^c0; c1 alone without warping: e^(2 c1 cos w).
    flat = velk.envelope(np.array([[0.5, 0.0, 0.0]]), 44100, alpha=0.0, nfft=8, morvscale=0)
    assert flat.shape == (1, 5) and np.allclose(flat, np.exp(0.5))
    tilt = velk.envelope(np.array([0.0, 0.25]), 22050, alpha=0.0, nfft=16, morvscale=0)
    assert tilt.shape == (9,) and np.allclose(tilt, np.exp(0.5 * np.cos(np.pi * np.arange(9) / 8)))
    # Warping moves a value at warped angle v to the linear angle the inverse warping gives.
    alpha = 0.58  # the default at 48 kHz
    warped = velk.envelope(np.array([0.0, 0.0, 0.3]), 48000, nfft=4096, morvscale=0)
    w = np.pi * np.arange(2049) / 2048
    v = w + 2 * np.arctan2(alpha * np.sin(w), 1 - alpha * np.cos(w))
    assert np.allclose(warped, np.exp(0.6 * np.cos(2 * v)))
    # The range adaptation is undone as decode undoes it (c0 - 5, the rest halved).
    adapted = velk.envelope(np.array([5.5, 0.5]), 16000, alpha=0.0, nfft=4)
    assert np.allclose(adapted, np.exp(0.5 + 0.5 * np.cos(np.pi * np.arange(3) / 2)))


def test_an_encoded_envelope_follows_the_harmonics():
    fs = 48000
    t = np.arange(fs) / fs
    # Harmonics of 200 Hz over the whole band whose amplitudes fall by a factor of 10 every 24 kHz.
    x = sum(0.2 * 10 ** (-k * 200 / 24000) * np.sin(2 * np.pi * k * 200 * t + k) for k in range(1, 120))
    e = velk.encode(x, fs)
    spectra = velk.envelope(e.cc, fs)
    assert spectra.shape == (len(e.lf0), 2049)
    mean = np.mean(np.log10(spectra[20:-20]), axis=0)
    f = np.arange(2049) * fs / 4096
    at = lambda hz: mean[np.argmin(np.abs(f - hz))]
    assert at(1000) - at(21000) == pytest.approx(20 / 24, abs=0.1)
    assert at(3000) - at(15000) == pytest.approx(12 / 24, abs=0.1)
    assert np.median(e.fv) > 20000  # voiced up to the top of the band


def test_frame_times_are_the_frame_centres():
    assert np.array_equal(velk.frame_times(4, 44100), np.arange(4) * 220 / 44100)
    assert np.array_equal(velk.frame_times(3, 16000, 160), np.array([0.0, 0.01, 0.02]))
    e = velk.encode(harmonics(22050, 0.3, 150, 3000), 22050)
    times = velk.frame_times(len(e.lf0), e.fs, e.lframe)
    assert times[1] == 110 / 22050 and len(times) == len(e.lf0)
    assert velk.frame_times(0, 8000).shape == (0,)


def test_the_encode_result_unpacks_and_carries_its_rate():
    e = velk.encode(harmonics(24000, 0.3, 150, 3000), 24000)
    lf0, cc, fv = e
    assert lf0 is e.lf0 and cc is e.cc and fv is e.fv
    assert (e.fs, e.lframe) == (24000, 120)
    assert "fs=24000" in repr(e)
    # An option that contradicts what the result carries is refused; another output rate resamples.
    with pytest.raises(ValueError, match=r"^lframe = 60 contradicts the encode result's lframe = 120$"):
        velk.decode(e, lframe=60)
    assert len(velk.decode(e, lframe=120)) == (len(lf0) + 1) * 120 + 1
