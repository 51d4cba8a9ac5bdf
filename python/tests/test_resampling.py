"""With resample=16000 signals at other rates are brought to 16 kHz before the analysis, as
velkcoder --fs=16000 does with files."""
import numpy as np
import pytest

import velk
from conftest import SAMPLES


def harmonic_signal(fs, seconds, f0=150.0):
    """Ten harmonics of f0 with falling amplitudes, at fs Hz."""
    t = np.arange(int(round(seconds * fs))) / fs
    return sum(0.3 / k * np.sin(2 * np.pi * k * f0 * t) for k in range(1, 11))


def upsampled(x, factor):
    """x at factor times its rate, band-limited (zeros above the old Nyquist frequency)."""
    spectrum = np.zeros(factor * len(x) // 2 + 1, complex)
    original = np.fft.rfft(x)
    spectrum[: len(original)] = original
    return np.fft.irfft(spectrum, factor * len(x)) * factor


@pytest.mark.parametrize("fs", [8000, 22050, 44100, 48000])
def test_a_harmonic_signal_at_other_rates_keeps_its_f0_and_voicing(fs):
    e = velk.encode(harmonic_signal(fs, 1.0), fs, resample=16000)
    reference = velk.encode(harmonic_signal(16000, 1.0), 16000)
    assert len(e.lf0) == len(reference.lf0)
    middle = slice(20, -20)
    assert np.all(e.lf0[middle] > -1e9)
    assert np.allclose(np.exp(e.lf0[middle]), 150.0, rtol=1e-3)
    assert np.allclose(e.fv[middle], reference.fv[middle], atol=1.0)


@pytest.mark.parametrize("factor", [2, 3])
def test_upsampled_speech_gives_the_analysis_of_the_original(factor):
    x, _ = velk.read_wav(SAMPLES / "en_vm-deleted.wav")
    e = velk.encode(upsampled(x, factor), 16000 * factor, resample=16000)
    reference = velk.encode(x, 16000)
    assert len(e.lf0) == len(reference.lf0)
    voiced, voicedref = e.lf0 > -1e9, reference.lf0 > -1e9
    assert np.mean(voiced == voicedref) >= 0.98
    both = voiced & voicedref
    assert np.max(np.abs(e.lf0[both] - reference.lf0[both])) < 2e-3
    assert np.median(np.abs(e.cc[:, 0] - reference.cc[:, 0])) < 0.1


def test_resampling_keeps_the_signal_length_in_16k_samples():
    # 0.5 s at 11025 Hz: 5512.5 samples at 16 kHz, rounded; frames as for that many 16 kHz samples.
    x = harmonic_signal(11025, 0.5)
    n16 = int(round(len(x) * 16000 / 11025))
    assert len(velk.encode(x, 11025, resample=16000).lf0) == len(velk.encode(np.ones(n16), 16000, zfill=0).lf0)
