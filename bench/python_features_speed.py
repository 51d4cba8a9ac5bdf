#!/usr/bin/env python3
"""Speed of velk.features: F0 and voicing against Praat's "To Pitch (ac)", and the whole feature
set against velkcoder.

usage: python_features_speed.py BUILD_DIR

The 60 s benchmark signal (the bundled samples joined, as the vocoder benchmarks build it),
resampled to 22.05 kHz and written as a 16-bit WAV file, on the grid 22.05 kHz / hop 256 /
window 1024:
1. velk.features(..., features=("f0", "voicing")) in this process against Praat (Debian's
   `praat`, when installed: a peer to compare with, run only here) reading the file and running
   "To Pitch (ac)" with the same time step and range (60 to 500 Hz) and its standard settings,
   less Praat reading the file alone. CPU time, best of three runs each. Target: at most half
   of Praat's.
2. All the features (velk.features with every feature) against velkcoder on the same file (its
   streams at its 5 ms frame shift, and at --lframe=256, the grid's hop). Target: no more than
   velkcoder at the same hop.
"""
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import warnings

HERE = pathlib.Path(__file__).resolve().parent
TOP = HERE.parent
sys.path.insert(0, str(HERE))
import cputime  # noqa: E402
RUNS = 3
FS, HOP, WINDOW = 22050, 256, 1024
PRAAT_PITCH = """form pitch
  sentence file
  real step
endform
Read from file: file$
To Pitch (ac): step, 60, 15, "no", 0.03, 0.45, 0.01, 0.35, 0.14, 500
"""
PRAAT_READ = """form read
  sentence file
  real step
endform
Read from file: file$
"""


def praat_cpu(praat, wav, tmp):
    scripts = {}
    for name, text in (("pitch", PRAAT_PITCH), ("read", PRAAT_READ)):
        scripts[name] = tmp / f"{name}.praat"
        scripts[name].write_text(text)
    step = "%.10f" % (HOP / FS)
    pitch = cputime.best_program_cpu([praat, "--run", scripts["pitch"], wav, step], RUNS)
    reading = cputime.best_program_cpu([praat, "--run", scripts["read"], wav, step], RUNS)
    return pitch - reading, pitch, reading


def printed_ratio(ours, theirs):
    """The ratio of two CPU times as printed (to the millisecond), to three decimals: the verdict
    then follows the figures on the line, not digits it does not show."""
    return round(round(ours, 3) / round(theirs, 3), 3)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = pathlib.Path(sys.argv[1])
    sys.path.insert(0, str(build / "python"))
    import velk
    with tempfile.TemporaryDirectory() as scratch:
        tmp = pathlib.Path(scratch)
        long16 = tmp / "long16.wav"
        subprocess.run([sys.executable, HERE / "make_long_wav.py", long16, "60",
                        *sorted((TOP / "samples").glob("*.wav"))], check=True)
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")  # the conversion to 22.05 kHz is meant
            x, fs = velk.read_wav(long16, fs=FS)
        wav = tmp / "long22.wav"
        velk.write_wav(wav, x, FS)
        x, fs = velk.read_wav(wav)
        seconds = len(x) / fs

        def f0_and_voicing():
            velk.features(x, fs, hop=HOP, window=WINDOW, features=("f0", "voicing"))

        def everything():
            velk.features(x, fs, hop=HOP, window=WINDOW, features=("f0", "vuv", "voicing", "lf0", "energy", "cc",
                                                                    "fv"))

        ours = cputime.best_python_cpu(f0_and_voicing, RUNS)
        print("%.1f s of speech at %d Hz, hop %d, window %d; CPU time, best of %d runs" % (
            seconds, FS, HOP, WINDOW, RUNS))
        praat = shutil.which("praat")
        if praat is None:
            print("F0 + voicing: velk.features %.3f s; Praat not installed (Debian's praat), no comparison" % ours)
        else:
            theirs, whole, reading = praat_cpu(praat, wav, tmp)
            ratio = printed_ratio(ours, theirs)
            print("F0 + voicing: velk.features %.3f s, Praat To Pitch (ac) %.3f s (%.3f s in all, %.3f s of it "
                  "reading); ratio %.3f (target <= 0.5: %s)" % (ours, theirs, whole, reading, ratio,
                                                                  "met" if ratio <= 0.5 else "not met"))
        features = cputime.best_python_cpu(everything, RUNS)
        coder = build / "bin" / "velkcoder" / "velkcoder"
        streams = [tmp / s for s in ("o.lf0", "o.cc", "o.fv")]
        at5ms = cputime.best_program_cpu([coder, wav, *streams], RUNS)
        athop = cputime.best_program_cpu([coder, wav, *streams, "--lframe=%d" % HOP], RUNS)
        ratio = printed_ratio(features, athop)
        print("all features: velk.features %.3f s; velkcoder %.3f s at --lframe=%d (%.3f s at its 5 ms shift); "
              "ratio %.3f (target <= 1: %s)" % (features, athop, HOP, at5ms, ratio, "met" if ratio <= 1 else "not met"))


if __name__ == "__main__":
    main()
