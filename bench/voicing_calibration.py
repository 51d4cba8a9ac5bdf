#!/usr/bin/env python3
"""Calibration of velk.features' voicing probability on synthetic voices of known voicing.

usage: voicing_calibration.py BUILD_DIR [--fit]

The set: voices of bench/known_f0.py (notes between breath noise and silences; half of them in
the speech range 80 to 300 Hz, searched from 60 to 500 Hz, half in the singing range 200 to
1000 Hz, searched from 60 to 1200 Hz; 15 to 40 dB SNR) on six frame grids (22.05 kHz hop 256,
16 kHz hops 80 and 160, 24 kHz hops 120 and 300, 44.1 kHz hop 512). A frame is truly voiced
when its centre lies in a note.

Prints the reliability table of the probability the library gives on a set it was not fitted
on: frames binned by probability (0-0.1, ..., 0.9-1), each bin's voiced fraction, which should
lie within 0.1 of the bin's centre. With --fit it first fits the calibration on two other sets
and prints the tables of vocoder/framefeatures.cpp: the voiced fraction as an isotonic
(non-decreasing) function of the tracker's margin, separately on each side of 0, held at or
above 0.5 where the tracker says voiced and at or below it where it says unvoiced.
"""
import pathlib
import sys
import warnings

import numpy as np

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import known_f0  # noqa: E402

GRIDS = [(22050, 256, 1024), (16000, 80, 400), (16000, 160, 400), (24000, 120, 480), (24000, 300, 1200),
         (44100, 512, 2048)]
SNRS = [40, 30, 25, 20, 15, 35, 20, 30]
FIT_SEEDS, CHECK_SEED = (0, 5000), 9000
VOICED_POINTS = [0.4, 0.5, 0.6, 0.7, 0.8, 0.85, 0.9, 0.95, 1.0]
UNVOICED_POINTS = [-0.8, -0.6, -0.5, -0.4, -0.3, -0.2, -0.1, 0.0]


def frames_of(velk, base, grids=GRIDS, voices=len(SNRS)):
    """(margin, probability, decision, truth) of every frame of the set made from seed `base`."""
    out = [], [], [], []
    for g, (fs, hop, window) in enumerate(grids):
        for v in range(voices):
            rng = np.random.default_rng(base + 100 * g + v)
            singing = v % 2 == 1
            x, voiced, f0 = known_f0.voice(fs, rng, (200, 1000) if singing else (80, 300),
                                           snr_db=SNRS[v % len(SNRS)])
            r = velk.features(x, fs, hop=hop, window=window, f0min=60, f0max=1200 if singing else 500,
                              features=("margin", "voicing", "vuv"))
            truth, _ = known_f0.frame_truth(voiced, f0, np.arange(len(r.vuv)) * hop)
            for a, b in zip(out, (r.margin, r.voicing, r.vuv > 0, truth)):
                a.append(b)
    return tuple(np.concatenate(a) for a in out)


def isotonic(x, y):
    """Pool-adjacent-violators: (block centres, block means, block sizes) of the non-decreasing
    least-squares fit of y on x."""
    order = np.argsort(x, kind="stable")
    x, y = np.asarray(x)[order], np.asarray(y, float)[order]
    means, sizes, lows, highs = [], [], [], []
    for xi, yi in zip(x, y):
        means.append(yi)
        sizes.append(1)
        lows.append(xi)
        highs.append(xi)
        while len(means) > 1 and means[-2] > means[-1]:
            n = sizes[-2] + sizes[-1]
            m = (means[-2] * sizes[-2] + means[-1] * sizes[-1]) / n
            low = lows[-2]
            del means[-1], sizes[-1], lows[-1], highs[-2]
            means[-1], sizes[-1], lows[-1] = m, n, low
    return (np.array(lows) + np.array(highs)) / 2, np.array(means), np.array(sizes)


def side_table(margin, truth, points, lower, upper):
    finite = np.isfinite(margin)
    centres, means, _ = isotonic(margin[finite], truth[finite])
    return np.clip(np.interp(points, centres, means), lower, upper)


def fit(velk):
    margins, truths = [], []
    for seed in FIT_SEEDS:
        m, _, _, t = frames_of(velk, seed)
        margins.append(m)
        truths.append(t)
    m, t = np.concatenate(margins), np.concatenate(truths)
    voiced = side_table(m[m > 0], t[m > 0], VOICED_POINTS, 0.5, 1.0)
    unvoiced = side_table(np.maximum(m[m <= 0], -1e3), t[m <= 0], UNVOICED_POINTS, 0.0, 0.5)
    for name, points, table in (("kVoicedSide", VOICED_POINTS, voiced), ("kUnvoicedSide", UNVOICED_POINTS,
                                                                          unvoiced)):
        print("const calibrationpoint %s[] = {%s};" % (
            name, ", ".join("{%g, %.3f}" % (a, b) for a, b in zip(points, table))))


def reliability_table(probability, truth):
    print("| probability | frames | voiced fraction | off the centre by |")
    print("|---|---|---|---|")
    worst = 0.0
    for low, high, n, fraction in known_f0.reliability(probability, truth):
        off = abs(fraction - (low + high) / 2) if n else float("nan")
        worst = max(worst, off) if n else worst
        print("| %.1f-%.1f | %d | %s | %s |" % (low, high, n, "%.3f" % fraction if n else "-",
                                                "%.3f" % off if n else "-"))
    return worst


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    sys.path.insert(0, str(pathlib.Path(sys.argv[1]) / "python"))
    import velk
    warnings.simplefilter("ignore")
    if "--fit" in sys.argv[2:]:
        fit(velk)
    m, p, decision, truth = frames_of(velk, CHECK_SEED)
    print("voicing probability on %d frames (%d truly voiced); threshold 0.5 equals vuv on all: %s" % (
        len(p), truth.sum(), bool(np.all((p > 0.5) == decision))))
    worst = reliability_table(p, truth)
    print("largest distance of a bin's voiced fraction from its centre: %.3f (target <= 0.1: %s)" % (
        worst, "met" if worst <= 0.1 else "not met"))


if __name__ == "__main__":
    main()
