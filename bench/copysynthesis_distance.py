"""Distances between a speech recording and its copy synthesis, at the recording's own rate.

Both signals are cut into 25 ms Hann frames every 5 ms (FFT size the next power of two):
- mel-cepstral distortion over the full band: per frame the natural log of |X| is resampled onto
  a uniform grid of the all-pass-warped frequency, its inverse FFT gives c0 ... c39, and
  MCD = (10 / ln 10) * sqrt(2 * sum_{j=1..39} (c_j - c'_j)^2) dB (c0, the level, left out);
- log-spectral distance of a band (by default 8 kHz up to min(fs / 2, 20 kHz)): the RMS over the
  band's bins of 10 log10 of the ratio of the power spectra, dB.
Both are averaged over the frames within 40 dB of the recording's loudest frame, at the frame lag
within +-40 ms that gives the smallest MCD. Power spectra carry a floor of 1e-10 (25 dB below the
noise of 16-bit rounding) so that digital silence has a finite logarithm.
The inverse FFT gives the two-sided cepstrum, ln|X| = c0 + 2 sum_j c_j cos(j w): its c_j are half
the coefficients of the one-sided (minimum-phase) cepstrum a vocoder carries, and so is the MCD.
numpy only; the module also reads 16-bit WAV files and resamples by the DFT.

usage: copysynthesis_distance.py REFERENCE.wav TEST.wav  (TEST is brought to REFERENCE's rate first,
by wav_samples_at)
"""
import sys
import wave

import numpy as np

# The all-pass factor that approximates the mel scale at each rate measured.
WARPING = {16000: 0.42, 22050: 0.45, 44100: 0.53, 48000: 0.55}
ORDER = 39
FLOOR = 1e-10
RANGE_DB = 40.0
MAX_LAG_SECONDS = 0.040


def framing(fs):
    """(window length, frame shift, FFT size) in samples at fs Hz."""
    length, shift = int(round(0.025 * fs)), int(round(0.005 * fs))
    return length, shift, 1 << (length - 1).bit_length()


def power_spectra(x, fs):
    """Power spectra of the Hann-windowed frames of x, shape (frames, nfft / 2 + 1), floored."""
    length, shift, nfft = framing(fs)
    count = max(0, (len(x) - length) // shift + 1)
    window = 0.5 - 0.5 * np.cos(2 * np.pi * np.arange(length) / length)
    starts = shift * np.arange(count)
    frames = np.asarray(x, np.float64)[starts[:, None] + np.arange(length)] * window
    return np.abs(np.fft.rfft(frames, nfft, axis=1)) ** 2 + FLOOR


def allpass_warp(omega, alpha):
    """The frequency (radians) that the all-pass factor alpha maps omega (radians, 0..pi) to."""
    return omega + 2 * np.arctan2(alpha * np.sin(omega), 1 - alpha * np.cos(omega))


def warped_cepstra(power, alpha, order=ORDER):
    """c0 ... c_order per frame: the inverse FFT of ln|X| taken on a uniform warped-frequency grid.

    power: shape (frames, nfft / 2 + 1). Warping by -alpha undoes warping by alpha, so the grid
    point at warped frequency w lies at linear frequency allpass_warp(w, -alpha); ln|X| is
    interpolated linearly between the bins there.
    """
    bins = power.shape[1]
    nfft = 2 * (bins - 1)
    grid = np.linspace(0, np.pi, bins)
    position = allpass_warp(grid, -alpha) / np.pi * (bins - 1)
    below = np.minimum(np.floor(position).astype(int), bins - 2)
    share = position - below
    logmag = 0.5 * np.log(power)
    resampled = (1 - share) * logmag[:, below] + share * logmag[:, below + 1]
    return np.fft.irfft(resampled, nfft, axis=1)[:, : order + 1]


def mcd_per_frame(ca, cb):
    """Mel-cepstral distortion (dB) of each pair of cepstra rows, c0 left out."""
    d = ca[:, 1:] - cb[:, 1:]
    return 10 / np.log(10) * np.sqrt(2 * np.sum(d * d, axis=1))


def lsd_per_frame(pa, pb):
    """Log-spectral distance (dB) of each pair of power spectrum rows: RMS over the columns."""
    return np.sqrt(np.mean((10 * np.log10(pa / pb)) ** 2, axis=1))


def band_bins(fs, nfft, low=8000.0, high=None):
    """Mask of the rfft bins from low Hz up to (not including) min(fs / 2, high or 20 kHz)."""
    top = min(fs / 2, 20000.0 if high is None else high)
    f = np.arange(nfft // 2 + 1) * fs / nfft
    return (f >= low) & (f < top)


def distances(reference, test, fs, *, alpha=None, max_lag=None, band=None):
    """Compares a test signal with its reference, both at fs Hz.

    alpha: the all-pass factor (default WARPING[fs]).  max_lag: largest lag tried, in frames
    (default +-40 ms).  band: (low, high) Hz of the log-spectral distance (default 8 kHz up to
    min(fs / 2, 20 kHz)).
    Returns a dict: mcd and lsd (dB, lsd NaN when the band holds no bin), lag (test frame k + lag
    is compared with reference frame k; in frames and in samples), frames (the count averaged).
    """
    alpha = WARPING[fs] if alpha is None else alpha
    length, shift, nfft = framing(fs)
    max_lag = int(round(MAX_LAG_SECONDS * fs / shift)) if max_lag is None else max_lag
    pr, pt = power_spectra(reference, fs), power_spectra(test, fs)
    cr, ct = warped_cepstra(pr, alpha), warped_cepstra(pt, alpha)
    level = 10 * np.log10(pr.sum(axis=1))
    loud = level >= level.max() - RANGE_DB

    def pairs(lag):
        """Indices of the reference and test frames compared at a lag, loud reference frames only."""
        k = np.flatnonzero(loud)
        k = k[(k + lag >= 0) & (k + lag < len(pt))]
        return k, k + lag

    best = None
    for lag in range(-max_lag, max_lag + 1):
        kr, kt = pairs(lag)
        if len(kr) == 0:
            continue
        mcd = float(np.mean(mcd_per_frame(cr[kr], ct[kt])))
        if best is None or mcd < best[0]:
            best = (mcd, lag)
    if best is None:
        raise ValueError("the signals hold no pair of frames to compare")
    mcd, lag = best
    kr, kt = pairs(lag)
    mask = band_bins(fs, nfft, *(band or ()))
    lsd = float(np.mean(lsd_per_frame(pr[kr][:, mask], pt[kt][:, mask]))) if mask.any() else float("nan")
    return {"mcd": mcd, "lsd": lsd, "lag": lag, "lag_samples": lag * shift, "frames": len(kr)}


def read_wav(path):
    """(x, fs) of a 16-bit PCM WAV file: x float64 on the +-1 scale, channels averaged."""
    with wave.open(str(path), "rb") as w:
        if w.getsampwidth() != 2:
            raise ValueError("%s: not 16-bit PCM" % path)
        x = np.frombuffer(w.readframes(w.getnframes()), "<i2").astype(np.float64) / 32768
        return x.reshape(-1, w.getnchannels()).mean(axis=1), w.getframerate()


def int16_samples(x):
    """The 16-bit samples of x (+-1 scale): 32768 x rounded to nearest and saturated."""
    return np.clip(np.round(np.asarray(x) * 32768), -32768, 32767).astype("<i2")


def write_wav(path, x, fs):
    """Writes x (+-1 scale) as a mono 16-bit PCM WAV file of int16_samples(x)."""
    with wave.open(str(path), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(fs)
        w.writeframes(int16_samples(x).tobytes())


def resample(x, fs, rate):
    """x at fs Hz brought to rate Hz by the DFT: the whole signal's spectrum cut or padded with
    zeros (ideal band-limited interpolation of the signal taken as periodic), round(len * rate / fs)
    samples."""
    n = len(x)
    m = int(round(n * rate / fs))
    spectrum = np.fft.rfft(x)
    kept = np.zeros(m // 2 + 1, complex)
    count = min(len(spectrum), len(kept))
    kept[:count] = spectrum[:count]
    # A bin at the old or new Nyquist frequency stands for a cosine that the other length splits
    # or joins: halve or double it so that the band edge keeps its amplitude.
    if n % 2 == 0 and count == len(spectrum) and m > n:
        kept[count - 1] *= 0.5
    if m % 2 == 0 and count == len(kept) and n > m:
        kept[count - 1] *= 2
    return np.fft.irfft(kept, m) * (m / n)


def wav_samples_at(x, fs, rate):
    """x (fs Hz) as a 16-bit WAV file at rate Hz holds it: resampled by the DFT, rounded to 16 bits,
    back on the +-1 scale. Above the lower rate's Nyquist frequency only the rounding noise is left."""
    return int16_samples(resample(x, fs, rate)) / 32768


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: copysynthesis_distance.py REFERENCE.wav TEST.wav")
    x, fs = read_wav(sys.argv[1])
    y, rate = read_wav(sys.argv[2])
    y = y if rate == fs else wav_samples_at(y, rate, fs)
    d = distances(x, y, fs)
    print("mcd %.3f dB, lsd %.2f dB, lag %d samples, %d frames" % (d["mcd"], d["lsd"], d["lag_samples"], d["frames"]))


if __name__ == "__main__":
    main()
