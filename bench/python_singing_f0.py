#!/usr/bin/env python3
"""Gross pitch error and voicing decision error of velk.features on voices of known F0: speech
against singing.

usage: python_singing_f0.py BUILD_DIR

Voices of bench/known_f0.py (harmonic notes through vowel formants with vibrato, between breath
noise and silences, white noise at 25 dB SNR), 12 per row, on the grid 22.05 kHz / hop 256 /
window 1024 (centred) and on 44.1 kHz / hop 512, tracked by velk.features (the vocoder's tracker)
and by velk.pitch (the pitch command's dynamic-programming tracker, on the same hop):
- speech: notes from 80 to 300 Hz, vibrato 20 cents, searched with the defaults (60 to 500 Hz);
- singing: notes from 200 to 1100 Hz with a vibrato of 60 cents, searched from 60 to 1200 Hz
  and over the whole singing range, 30 to 2000 Hz.
GPE: frames voiced in the truth and in the estimate whose F0 lies more than 20 % from the truth,
among those. VDE: frames whose voicing decision differs from the truth, among all.
Target: singing figures within a few points of the speech figures.
"""
import pathlib
import sys
import warnings

import numpy as np

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import known_f0  # noqa: E402

VOICES = 12
ROWS = [("speech", (80, 300), 20, 60, 500), ("singing", (200, 1100), 60, 60, 1200),
        ("singing", (200, 1100), 60, 30, 2000)]
GRIDS = [(22050, 256, 1024), (44100, 512, 2048)]


def measure(velk, tracker, fs, hop, window, f0_range, vibrato, f0min, f0max, seed):
    """(frames, gross errors, frames voiced in both, voicing errors) over VOICES voices."""
    totals = np.zeros(4)
    for v in range(VOICES):
        rng = np.random.default_rng(seed + v)
        x, voiced, f0 = known_f0.voice(fs, rng, f0_range, vibrato_cents=vibrato)
        if tracker == "features":
            est = velk.features(x, fs, hop=hop, window=window, f0min=f0min, f0max=f0max, features=("f0",)).f0
            centres = np.arange(len(est)) * hop
        else:  # the pitch command's tracker: frame k starts at k * hop, its 7.5 ms window there
            est = velk.pitch(x, fs, frame_shift=hop, f0min=f0min, f0max=f0max)
            centres = np.arange(len(est)) * hop + int(0.00375 * fs)
        truth, true_f0 = known_f0.frame_truth(voiced, f0, centres)
        both = (est > 0) & truth
        gross = np.abs(est[both] / true_f0[both] - 1) > 0.2
        totals += (len(est), gross.sum(), both.sum(), np.sum((est > 0) != truth))
    return totals


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    sys.path.insert(0, str(pathlib.Path(sys.argv[1]) / "python"))
    import velk
    warnings.simplefilter("ignore")
    print("| tracker | voices | F0 of the notes | search range | grid | frames | GPE % | VDE % |")
    print("|---|---|---|---|---|---|---|---|")
    for tracker in ("features", "pitch"):
        for fs, hop, window in GRIDS:
            for name, f0_range, vibrato, f0min, f0max in ROWS:
                n, gross, both, vde = measure(velk, tracker, fs, hop, window, f0_range, vibrato, f0min, f0max,
                                              1000)
                print("| %s | %s | %d-%d Hz | %d-%d Hz | %d Hz / %d / %d | %d | %.2f | %.2f |" % (
                    tracker, name, f0_range[0], f0_range[1], f0min, f0max, fs, hop, window, n,
                    100 * gross / max(both, 1), 100 * vde / n))


if __name__ == "__main__":
    main()
