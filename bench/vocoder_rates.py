#!/usr/bin/env python3
"""The vocoder at the rates of wide-band recordings: copy synthesis, F0 agreement and speed.

usage: vocoder_rates.py VELKCODER VELKDECODER SAMPLES_DIR

1. Copy synthesis of every WAV file of SAMPLES_DIR (real speech at 22.05, 44.1 and 48 kHz), two
   rows per file, compared with the file at its own rate by copysynthesis_distance (full-band
   mel-cepstral distortion and log-spectral distance from 8 kHz to min(fs / 2, 20 kHz)):
   - native: `velkcoder IN ...` at the file's rate, `velkdecoder --fs=RATE ...`;
   - 16 kHz: `velkcoder --fs=16000 IN ...` (programs without --fs resample to 16 kHz by
     themselves), `velkdecoder` at 16 kHz, and the output brought to the file's rate by the DFT
     and rounded to 16 bits (copysynthesis_distance.wav_samples_at), as a WAV file at that rate holds
     it: a user of the 16 kHz vocoder would have to do so. Its band above 8 kHz then holds only
     the rounding noise, which sets that path's distances (exact zeros there give larger ones).
   Target at 44.1 and 48 kHz, on average: MCD 1.9 dB, LSD 8.3 dB. Where a band is synthesised
   from noise, the LSD cannot go far below 7.9 dB even with the right envelope: two independent
   noises of one spectrum differ by that much per bin (see bench/tests).
2. F0 at 44.1 and 48 kHz against the 16 kHz analysis of the same file, on 10 ms frames:
   `velkcoder --lframe=441` (or 480) against `velkcoder --fs=16000 --lframe=160`. Targets: equal
   voicing decisions on at least 98 % of the frames, voiced frames differing by more than 20 % at
   most 1 % of those voiced in both.
3. Speed: CPU time (user + system, best of three runs) per second of speech and peak resident
   memory of the encoder (default options) and the decoder on the 48 kHz recordings joined and
   repeated to 30 s, at 48 kHz against the same speech as a 16 kHz file. Target: at most 5 times.
The native rows need --fs in both programs, the F0 agreement and the 48 kHz encoder speed in
velkcoder, the 48 kHz decoder speed in both; without it the 16 kHz figures are printed alone and
the output says which program refuses --fs.
"""
import os
import pathlib
import subprocess
import sys
import tempfile

import numpy as np

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import copysynthesis_distance as sd  # noqa: E402

TARGET_MCD, TARGET_LSD = 1.9, 8.3
TARGET_VOICING, TARGET_GROSS = 98.0, 1.0
TARGET_RATIO = 5.0
SPEED_SECONDS, RUNS = 30.0, 3
UNVOICED = -1e9  # log-F0 at or below this is unvoiced (the streams hold -1e10)


class Failed(Exception):
    pass


def run(args):
    """Runs a program; returns (exit code, its messages: standard output and error as one text)."""
    done = subprocess.run([str(a) for a in args], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=False)
    return done.returncode, done.stdout.decode(errors="replace")


def must(args):
    code, err = run(args)
    if code != 0:
        raise Failed("%s exited with %d: %s" % (pathlib.Path(str(args[0])).name, code, err.strip()))


def measured_run(args, tmp):
    """(CPU seconds, peak resident kB) of one run of a program. The CPU time is the kernel's account
    of the child; the peak memory is taken by /usr/bin/time, whose own child starts small (a child
    of this interpreter would count the interpreter's memory from before its exec)."""
    report = tmp / "time.txt"
    child = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", str(report), *map(str, args)],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        raise Failed("%s exited with %d" % (pathlib.Path(str(args[0])).name, child.returncode))
    return usage.ru_utime + usage.ru_stime, int(report.read_text().split()[-1])


def best_run(args, tmp):
    runs = [measured_run(args, tmp) for _ in range(RUNS)]
    return min(cpu for cpu, _ in runs), max(kb for _, kb in runs)


def log_f0(path):
    return np.fromfile(path, "<f4").astype(np.float64)


def compare_f0(a, b):
    """A log-F0 track against a reference track on the same frames (the shorter length counts):
    (frames, frames of equal voicing, frames voiced in both, frames voiced in both whose F0 lies
    more than 20 % above or below the reference's)."""
    n = min(len(a), len(b))
    a, b = np.asarray(a[:n], np.float64), np.asarray(b[:n], np.float64)
    va, vb = a > UNVOICED, b > UNVOICED
    both = va & vb
    far = np.abs(np.exp(a[both] - b[both]) - 1) > 0.2
    return n, int(np.sum(va == vb)), int(np.sum(both)), int(np.sum(far))


class Vocoder:
    """The two programs, and whether they take --fs (the native path)."""

    def __init__(self, coder, decoder, tmp, probe):
        self.coder, self.decoder, self.tmp = coder, decoder, tmp
        streams = self.streams("probe")
        # Streams at 16 kHz either way, which a decoder that takes --fs=16000 must accept.
        self.coder_fs = run([coder, probe, *streams, "--fs=16000"])[0] == 0
        if not self.coder_fs:
            must([coder, probe, *streams])
        self.decoder_fs = run([decoder, *streams, tmp / "probe.wav", "--fs=16000"])[0] == 0
        self.native = self.coder_fs and self.decoder_fs

    def refusal(self):
        """Which program keeps the native path away."""
        refusing = [name for name, takes in (("velkcoder", self.coder_fs), ("velkdecoder", self.decoder_fs))
                    if not takes]
        return "%s %s --fs (16 kHz only)" % (" and ".join(refusing), "refuses" if len(refusing) == 1 else "refuse")

    def streams(self, stem):
        return [self.tmp / (stem + ext) for ext in (".lf0", ".cc", ".fv")]

    def encode(self, wav, stem, options=()):
        must([self.coder, wav, *self.streams(stem), *options])

    def decode(self, stem, rate=None):
        """Decodes the streams of stem at rate (None: the decoder's default, 16 kHz); returns (y, fs)."""
        out = self.tmp / (stem + ".out.wav")
        must([self.decoder, *self.streams(stem), out, *([] if rate is None else ["--fs=%d" % rate])])
        return sd.read_wav(out)

    def copy_native(self, wav, fs):
        self.encode(wav, "native")
        return self.decode("native", fs)

    def copy_16k(self, wav, fs):
        self.encode(wav, "p16", ["--fs=16000"] if self.coder_fs else [])
        return self.decode("p16", 16000 if self.decoder_fs else None)


def copy_synthesis_rows(vocoder, files):
    """Prints the distance table; returns {path: [(fs, mcd, lsd), ...]}."""
    print("copy synthesis against the recording at its own rate (MCD full band, LSD 8 kHz..min(fs/2, 20 kHz))")
    print("| file | rate | path | MCD dB | LSD dB | lag ms | frames | note |")
    print("|---|---|---|---|---|---|---|---|")
    results = {"native": [], "16 kHz": []}
    for wav in files:
        x, fs = sd.read_wav(wav)
        paths = [("16 kHz", vocoder.copy_16k)]
        if vocoder.native:
            paths.insert(0, ("native", vocoder.copy_native))
        for label, synthesise in paths:
            y, rate = synthesise(wav, fs)
            note = ""
            if rate != fs:
                note = "output at %d Hz, brought to %d Hz (16-bit)" % (rate, fs)
                y = sd.wav_samples_at(y, rate, fs)
            if abs(len(y) - len(x)) > 0.02 * fs:
                note += "; length %.3f s, input %.3f s" % (len(y) / fs, len(x) / fs)
            d = sd.distances(x, y, fs)
            results[label].append((fs, d["mcd"], d["lsd"]))
            print("| %s | %d | %s | %.2f | %.2f | %+.1f | %d | %s |" % (
                wav.stem, fs, label, d["mcd"], d["lsd"], 1000 * d["lag_samples"] / fs, d["frames"], note))
    if not vocoder.native:
        print("native path not available: %s" % vocoder.refusal())
    return results


def print_averages(results):
    for label, rows in results.items():
        for title, rates in (("all files", None), ("44.1 and 48 kHz", (44100, 48000))):
            chosen = [r for r in rows if rates is None or r[0] in rates]
            if not chosen:
                continue
            mcd, lsd = np.mean([r[1] for r in chosen]), np.mean([r[2] for r in chosen])
            verdict = ""
            if rates is not None:
                verdict = ", target MCD <= %.1f dB %s, LSD <= %.1f dB %s" % (
                    TARGET_MCD, "met" if mcd <= TARGET_MCD else "not met",
                    TARGET_LSD, "met" if lsd <= TARGET_LSD else "not met")
            print("average, %s path, %s (%d): MCD %.2f dB, LSD %.2f dB%s" % (label, title, len(chosen), mcd, lsd,
                                                                          verdict))


def f0_agreement(vocoder, files):
    print()
    print("F0 at the native rate (--lframe=fs/100) against --fs=16000 --lframe=160, 10 ms frames")
    wide = [(wav, sd.read_wav(wav)[1]) for wav in files]
    wide = [(wav, fs) for wav, fs in wide if fs in (44100, 48000)]
    if not vocoder.coder_fs:
        print("not available: %s" % vocoder.refusal())
        return
    print("| file | rate | frames | voicing equal % | voiced in both | differing > 20 % |")
    print("|---|---|---|---|---|---|")
    frames = equal = both = gross = 0
    for wav, fs in wide:
        vocoder.encode(wav, "f0native", ["--lframe=%d" % (fs // 100)])
        vocoder.encode(wav, "f016k", ["--fs=16000", "--lframe=160"])
        a, b = log_f0(vocoder.tmp / "f0native.lf0"), log_f0(vocoder.tmp / "f016k.lf0")
        n, e, v, g = compare_f0(a, b)
        print("| %s | %d | %d%s | %.1f | %d | %.2f %% |" % (
            wav.stem, fs, n, "" if len(a) == len(b) else " (counts differ: %d, %d)" % (len(a), len(b)),
            100 * e / n, v, 100 * g / max(v, 1)))
        frames, equal, both, gross = frames + n, equal + e, both + v, gross + g
    if frames:
        agree, off = 100 * equal / frames, 100 * gross / max(both, 1)
        print("all: voicing equal on %.2f %% of %d frames (target >= %.0f %%: %s); %.2f %% of %d voiced frames "
              "differ by more than 20 %% (target <= %.0f %%: %s)" % (
                  agree, frames, TARGET_VOICING, "met" if agree >= TARGET_VOICING else "not met", off, both,
                  TARGET_GROSS, "met" if off <= TARGET_GROSS else "not met"))


def joined(files, rate, seconds):
    """The files at the given rate one after the other, repeated until seconds are reached."""
    series = np.concatenate([x for x, fs in map(sd.read_wav, files) if fs == rate])
    return np.tile(series, int(np.ceil(seconds * rate / len(series))))


def speed(vocoder, files):
    print()
    print("speed: CPU time per second of speech (best of %d) and peak memory, 48 kHz against 16 kHz" % RUNS)
    if not any(sd.read_wav(wav)[1] == 48000 for wav in files):
        print("not measured: no 48 kHz recording")
        return
    x48 = joined(files, 48000, SPEED_SECONDS)
    seconds = len(x48) / 48000
    wav48, wav16 = vocoder.tmp / "long48.wav", vocoder.tmp / "long16.wav"
    sd.write_wav(wav48, x48, 48000)
    sd.write_wav(wav16, sd.resample(x48, 48000, 16000), 16000)
    table = {}
    for rate, wav in ((16000, wav16), (48000, wav48)):
        if rate == 48000 and not vocoder.coder_fs:
            break
        streams = vocoder.streams("speed%d" % rate)
        table["velkcoder default", rate] = best_run([vocoder.coder, wav, *streams], vocoder.tmp)
        if rate == 16000 or vocoder.decoder_fs:
            option = [] if rate == 16000 else ["--fs=%d" % rate]
            table["velkdecoder", rate] = best_run([vocoder.decoder, *streams, vocoder.tmp / "speed.wav", *option],
                                                  vocoder.tmp)
    print("%.2f s of speech" % seconds)
    print("| program | CPU s per s, 16 kHz | CPU s per s, 48 kHz | ratio | peak kB, 16 kHz | peak kB, 48 kHz | ratio |")
    print("|---|---|---|---|---|---|---|")
    for program in ("velkcoder default", "velkdecoder"):
        cpu16, kb16 = table[program, 16000]
        cells = "- | - | %d | - | -" % kb16
        if (program, 48000) in table:
            cpu48, kb48 = table[program, 48000]
            cells = "%.4f | %.2f (%s) | %d | %d | %.2f (%s)" % (
                cpu48 / seconds, cpu48 / cpu16, "met" if cpu48 <= TARGET_RATIO * cpu16 else "not met", kb16, kb48,
                kb48 / kb16, "met" if kb48 <= TARGET_RATIO * kb16 else "not met")
        print("| %s | %.4f | %s |" % (program, cpu16 / seconds, cells))
    print("target: at most %.0f times the 16 kHz figure" % TARGET_RATIO)
    if ("velkdecoder", 48000) in table and sd.read_wav(vocoder.tmp / "speed.wav")[1] != 48000:
        print("note: velkdecoder --fs=48000 did not write a 48 kHz file")
    for program, name in (("velkcoder default", "velkcoder"), ("velkdecoder", "velkdecoder")):
        if (program, 48000) not in table:
            print("%s at 48 kHz not available: %s" % (name, vocoder.refusal()))


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: vocoder_rates.py VELKCODER VELKDECODER SAMPLES_DIR")
    coder, decoder = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    files = sorted(pathlib.Path(sys.argv[3]).glob("*.wav"))
    if not files:
        sys.exit("vocoder_rates.py: no WAV files in %s" % sys.argv[3])
    with tempfile.TemporaryDirectory() as tmp:
        try:
            vocoder = Vocoder(coder, decoder, pathlib.Path(tmp), files[0])
            print_averages(copy_synthesis_rows(vocoder, files))
            f0_agreement(vocoder, files)
            speed(vocoder, files)
        except Failed as error:
            sys.exit("vocoder_rates.py: %s" % error)


if __name__ == "__main__":
    main()
