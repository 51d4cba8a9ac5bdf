"""Voices of known F0 and known voicing, synthesised, and the measures of a tracker against them.

A voice is a run of notes (voiced stretches) separated by breath noise and silences. A note is a
harmonic source (every harmonic below fs / 2, amplitudes falling 6 dB per octave, phases following
the instantaneous F0) shaped by a speech-like envelope (three formant resonances of a vowel and a
glottal tilt), with vibrato, onsets and offsets of 10 ms, and white noise added at a chosen
signal-to-noise ratio over the whole voice. Between notes lie stretches of fricative-like noise
(high-passed white noise) and of near silence. Each sample knows whether it is voiced and its F0.

Used by bench/python_singing_f0.py (gross pitch and voicing errors, speech against singing) and
bench/voicing_calibration.py, and by the tests of velk.features.
"""
import numpy as np

# Formant frequencies and bandwidths (Hz) of a few vowels.
VOWELS = {
    "a": ((800, 80), (1200, 90), (2500, 120)),
    "i": ((300, 60), (2300, 100), (3000, 140)),
    "u": ((350, 60), (800, 80), (2400, 120)),
    "e": ((500, 70), (1800, 100), (2600, 130)),
    "o": ((500, 70), (900, 80), (2500, 120)),
}
RAMP = 0.01  # onset and offset of a stretch, s


def envelope_gain(freqs, vowel):
    """Magnitude of the vowel's formant resonances (two-pole, unit gain at 0 Hz) at freqs (Hz)."""
    gain = np.ones_like(freqs)
    for fc, bw in VOWELS[vowel]:
        gain *= (fc ** 2 + (bw / 2) ** 2) / np.sqrt((fc ** 2 - freqs ** 2 + (bw / 2) ** 2) ** 2 + (bw * freqs) ** 2)
    return gain


def ramp(n, fs):
    """A window of n samples rising and falling over RAMP seconds (raised cosine)."""
    w = np.ones(n)
    r = min(int(RAMP * fs), n // 2)
    if r > 0:
        edge = 0.5 - 0.5 * np.cos(np.pi * np.arange(r) / r)
        w[:r], w[n - r:] = edge, edge[::-1]
    return w


def note(f0, fs, vowel):
    """Samples of a harmonic note whose F0 (Hz) is given per sample; peak about 1."""
    phase = 2 * np.pi * np.cumsum(f0) / fs
    x = np.zeros(len(f0))
    for k in range(1, int(fs / 2 / f0.min()) + 1):
        freqs = k * f0
        amp = np.where(freqs < fs / 2 * 0.95, envelope_gain(freqs, vowel) / k, 0.0)
        if not amp.any():
            break
        x += amp * np.sin(k * phase)
    return x / np.max(np.abs(x))


def contour(base, n, fs, rng, vibrato_cents, glide):
    """F0 per sample: base Hz, gliding by up to `glide` (a ratio) over the note, with a vibrato of
    5 to 6.5 Hz and vibrato_cents depth."""
    t = np.arange(n) / fs
    end = base * glide ** rng.uniform(-1, 1)
    f0 = base * (end / base) ** (t / t[-1])
    rate = rng.uniform(5.0, 6.5)
    return f0 * 2 ** (vibrato_cents / 1200 * np.sin(2 * np.pi * rate * t + rng.uniform(0, 2 * np.pi)))


def voice(fs, rng, f0_range, notes=8, vibrato_cents=60, glide=1.1, snr_db=25.0):
    """(x, voiced, f0): samples on the +-1 scale and, per sample, the voicing and F0 (0 unvoiced).
    f0_range: (lowest, highest) base F0 of the notes, drawn log-uniformly."""
    parts, voiced, f0s = [], [], []
    for _ in range(notes):
        n = int(rng.uniform(0.25, 0.7) * fs)
        base = np.exp(rng.uniform(np.log(f0_range[0]), np.log(f0_range[1])))
        f0 = contour(base, n, fs, rng, vibrato_cents, glide)
        parts.append(note(f0, fs, rng.choice(list(VOWELS))) * ramp(n, fs) * rng.uniform(0.2, 0.8))
        voiced.append(np.ones(n, bool))
        f0s.append(f0)
        gap = int(rng.uniform(0.1, 0.35) * fs)
        if rng.uniform() < 0.5:  # breath or fricative: white noise differenced (a high-pass)
            hiss = np.diff(rng.normal(0, 1, gap + 1)) * rng.uniform(0.02, 0.2) / 2
            parts.append(hiss * ramp(gap, fs))
        else:
            parts.append(np.zeros(gap))
        voiced.append(np.zeros(gap, bool))
        f0s.append(np.zeros(gap))
    x = np.concatenate(parts)
    speech = np.concatenate(voiced)
    power = np.mean(x[speech] ** 2)
    x = x + rng.normal(0, np.sqrt(power / 10 ** (snr_db / 10)), len(x))
    return 0.9 * x / np.max(np.abs(x)), speech, np.concatenate(f0s)


def frame_truth(voiced, f0, centres):
    """The voicing and F0 at the frame centres (sample indices; beyond the end: unvoiced)."""
    inside = centres < len(voiced)
    c = np.minimum(centres, len(voiced) - 1)
    return voiced[c] & inside, np.where(inside, f0[c], 0.0)


def errors(est_f0, true_voiced, true_f0):
    """(gross pitch error %, voicing decision error %): frames voiced in both whose F0 lies more
    than 20 % from the truth, among those; frames whose voicing differs, among all."""
    est_voiced = est_f0 > 0
    both = est_voiced & true_voiced
    gross = np.abs(est_f0[both] / true_f0[both] - 1) > 0.2
    return 100.0 * gross.sum() / max(both.sum(), 1), 100.0 * np.mean(est_voiced != true_voiced)


def reliability(prob, truth, bins=10):
    """Rows (low, high, frames, voiced fraction) of frames binned by probability; the last bin
    includes 1."""
    idx = np.minimum((np.asarray(prob) * bins).astype(int), bins - 1)
    rows = []
    for b in range(bins):
        sel = idx == b
        rows.append((b / bins, (b + 1) / bins, int(sel.sum()), float(truth[sel].mean()) if sel.any() else np.nan))
    return rows
