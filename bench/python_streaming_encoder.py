#!/usr/bin/env python3
"""The streaming analyser with a bounded lookahead against the whole analysis.

usage: python_streaming_encoder.py BUILD_DIR

For every bundled sample (16 kHz and the wide rates) and lookaheads of 5, 10, 20 and 40 frames,
the signal is pushed 10 ms at a time through velk.Encoder(lookahead=K) and compared with
velk.encode of the whole signal: the share of frames whose log-F0 differs, of frames whose
voicing decision differs, the largest F0 difference in cents where both are voiced, and the
share of frames whose cepstra differ. Then the latency, and the CPU time per second of audio of
the streaming path (10 ms pushes) against the whole analysis (best of three).
"""
import pathlib
import sys
import warnings

import numpy as np

HERE = pathlib.Path(__file__).resolve().parent
TOP = HERE.parent
sys.path.insert(0, str(HERE))
import cputime  # noqa: E402

LOOKAHEADS = (5, 10, 20, 40)


def streamed(velk, x, fs, lookahead):
    encoder = velk.Encoder(fs=fs, lookahead=lookahead)
    block = int(fs) // 100
    parts = [encoder.push(x[i:i + block]) for i in range(0, len(x), block)] + [encoder.flush()]
    return np.concatenate([p.lf0 for p in parts]), np.concatenate([p.cc for p in parts]), encoder.latency


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    sys.path.insert(0, str(pathlib.Path(sys.argv[1]) / "python"))
    import velk
    warnings.simplefilter("ignore")  # the dither's notice on digital silence
    files = sorted((TOP / "samples").glob("*.wav")) + sorted((TOP / "samples" / "wide").glob("*.wav"))
    print("%-28s %9s %8s %8s %9s %8s %10s" % ("sample", "lookahead", "lf0 diff", "vuv diff", "max cents",
                                             "cc diff", "latency"))
    totals = {k: [0, 0, 0] for k in LOOKAHEADS}
    for path in files:
        x, fs = velk.read_wav(path)
        whole = velk.encode(x, fs)
        for k in LOOKAHEADS:
            lf0, cc, latency = streamed(velk, x, fs, k)
            voiced, wvoiced = lf0 > -1e9, whole.lf0 > -1e9
            both = voiced & wvoiced
            cents = 1200 / np.log(2) * np.abs(lf0[both] - whole.lf0[both])
            differ = lf0 != whole.lf0
            totals[k][0] += differ.sum()
            totals[k][1] += (voiced != wvoiced).sum()
            totals[k][2] += len(lf0)
            print("%-28s %9d %7.2f%% %7.2f%% %9.1f %7.2f%% %6.1f ms" % (
                path.name[:28], k, 100 * differ.mean(), 100 * (voiced != wvoiced).mean(),
                cents.max() if len(cents) else 0.0, 100 * np.mean(np.any(cc != whole.cc, axis=1)),
                1000 * latency / fs))
    for k in LOOKAHEADS:
        d, v, n = totals[k]
        print("all samples, lookahead %2d: %.2f%% of frames differ in log-F0, %.2f%% in voicing (%d frames)" % (
            k, 100 * d / n, 100 * v / n, n))
    for path in (TOP / "samples" / "en_vm-deleted.wav", TOP / "samples" / "wide" / "alsa48k_Front_Center.wav"):
        x, fs = velk.read_wav(path)
        seconds = len(x) / fs
        batch = cputime.best_python_cpu(lambda: velk.encode(x, fs), 3)
        stream = cputime.best_python_cpu(lambda: streamed(velk, x, fs, 10), 3)
        print("%s (%d Hz): CPU per second of audio %.1f ms streamed (10 ms pushes, lookahead 10), %.1f ms whole"
              % (path.name, fs, 1000 * stream / seconds, 1000 * batch / seconds))


if __name__ == "__main__":
    main()
