"""Corpus trees and reference outputs shared by the velkcorpus tests."""
import os
import shutil
import subprocess
import sys
import wave

import numpy as np

import velk
from conftest import SAMPLE_FILES, VELKCODER, VELKDECODER, run

# Ordinary names, nested folders, a space, non-ASCII letters and an upper-case extension; the
# stereo file at 22.05 kHz is converted on reading (a warning in the summary).
TREE = {
    "a.wav": 0,
    "sub/b.WAV": 1,
    "with space/é ü.wav": 2,
    "sub/deeper/c.wav": 3,
}
CONVERTED = "sub/22k stereo.wav"


def write_stereo_22k(path, source):
    x = (velk.read_wav(source)[0] * 32768).astype("<i2")
    with wave.open(str(path), "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(22050)
        w.writeframes(np.repeat(x, 2).tobytes())


def make_tree(root, copies=0):
    """The tree above under root (plus `copies` more files of the samples under many/), and a file
    the reader does not take; returns {relative name without extension: path}."""
    items = {}
    for relative, sample in TREE.items():
        path = root / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(SAMPLE_FILES[sample], path)
        items[os.path.splitext(relative)[0]] = path
    converted = root / CONVERTED
    write_stereo_22k(converted, SAMPLE_FILES[4])
    items[os.path.splitext(CONVERTED)[0]] = converted
    for k in range(copies):
        path = root / "many" / f"utt {k:03d}.wav"
        path.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(SAMPLE_FILES[k % len(SAMPLE_FILES)], path)
        items[f"many/utt {k:03d}"] = path
    (root / "notes.txt").write_text("not a sound file\n")
    return items


def codec_words(options):
    return [f"--{k}={v}" for k, v in options.items()]


def velkcoder_streams(path, workdir, options=None):
    """The bytes of the three streams velkcoder writes for path."""
    names = [workdir / f"ref.{e}" for e in ("lf0", "cc", "fv")]
    run(VELKCODER, path, *names, *codec_words(options or {}))
    return [n.read_bytes() for n in names]


def velkdecoder_wav(base, workdir, options):
    out = workdir / "ref.wav"
    run(VELKDECODER, f"{base}.lf0", f"{base}.cc", f"{base}.fv", out, *codec_words(options))
    return out.read_bytes()


def corpus_command(*args, **keywords):
    """Runs velkcorpus (python3 -m velk.corpus) and returns the finished process."""
    keywords.setdefault("stderr", subprocess.PIPE)
    return subprocess.run([sys.executable, "-m", "velk.corpus", *map(str, args)], stdout=subprocess.PIPE, text=True,
                          check=False, **keywords)


def tree_bytes(root, skip=("summary", "failures", "velkcorpus")):
    """{relative path: bytes} of the files under root but the run's own tables and record."""
    found = {}
    for top, _, files in os.walk(root):
        for name in files:
            path = os.path.join(top, name)
            relative = os.path.relpath(path, root)
            if not relative.startswith(skip):
                with open(path, "rb") as f:
                    found[relative] = f.read()
    return found


def summary_rows(path):
    lines = path.read_text(encoding="utf-8").splitlines()
    assert lines[0].split("\t") == ["name", "duration", "rate", "frames", "voiced", "f0_median", "f0_p5",
                                    "f0_p95", "warnings"]
    return {line.split("\t")[0]: line.split("\t") for line in lines[1:]}
