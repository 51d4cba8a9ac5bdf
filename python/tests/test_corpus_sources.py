"""What velkcorpus takes as its items: every format the reader reads, folders behind links, paths that
workers elsewhere can open, and workers that cannot run velk at all."""
import ctypes
import ctypes.util
import os
import sys
from concurrent.futures import ProcessPoolExecutor

import numpy as np
import pytest

from conftest import SAMPLE_FILES
from corpus_support import corpus_command
from velk import corpus

SFM_WRITE = 0x20
MP3 = 0x230000 | 0x0082  # SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III
OPUS = 0x200000 | 0x0064  # SF_FORMAT_OGG | SF_FORMAT_OPUS


class SoundInfo(ctypes.Structure):
    _fields_ = [("frames", ctypes.c_int64), ("samplerate", ctypes.c_int), ("channels", ctypes.c_int),
                ("format", ctypes.c_int), ("sections", ctypes.c_int), ("seekable", ctypes.c_int)]


def write_compressed(path, fs, major):
    """A second of a 200 Hz tone in a compressed format, written by libsndfile itself; skips the
    test when this libsndfile cannot write it."""
    library = ctypes.CDLL(ctypes.util.find_library("sndfile") or "libsndfile.so.1")
    library.sf_open.restype = ctypes.c_void_p
    library.sf_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(SoundInfo)]
    library.sf_writef_double.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int64]
    library.sf_close.argtypes = [ctypes.c_void_p]
    info = SoundInfo(samplerate=fs, channels=1, format=major)
    handle = library.sf_open(os.fsencode(path), SFM_WRITE, ctypes.byref(info))
    if not handle:
        pytest.skip(f"this libsndfile does not write {path.suffix}")
    x = 0.3 * np.sin(np.arange(fs) * 2 * np.pi * 200 / fs)
    library.sf_writef_double(handle, x.ctypes.data, fs)
    library.sf_close(handle)


def test_every_format_the_reader_reads_in_any_case_and_the_rest_named(tmp_path):
    src = tmp_path / "src"
    src.mkdir()
    write_compressed(src / "tone.mp3", 16000, MP3)
    write_compressed(src / "TONE2.OPUS", 16000, OPUS)
    (src / "a.Wav").write_bytes(SAMPLE_FILES[0].read_bytes())
    (src / "notes.txt").write_text("not sound\n")
    (src / "list.csv").write_text("a,b\n")
    done = corpus_command("encode", src, tmp_path / "out", "--jobs=1")
    assert done.returncode == 0, done
    for name in ("tone", "TONE2", "a"):
        assert (tmp_path / "out" / f"{name}.lf0").stat().st_size > 0, name
    lines = done.stdout.splitlines()
    assert lines[-2] == "velkcorpus: 2 files under SRC skipped, not sound files by their names: list.csv, notes.txt"
    assert "3 items: 3 done" in lines[-1]


def test_folders_behind_links_are_followed_and_loops_named(tmp_path):
    src = tmp_path / "src"
    (src / "real").mkdir(parents=True)
    (src / "real" / "a.wav").write_bytes(SAMPLE_FILES[0].read_bytes())
    os.symlink("real", src / "linked")
    os.symlink("..", src / "real" / "up")  # a loop back to SRC
    done = corpus_command("encode", src, tmp_path / "out", "--jobs=1")
    assert done.returncode == 0, done
    assert (tmp_path / "out" / "linked" / "a.fv").read_bytes() == (tmp_path / "out" / "real" / "a.fv").read_bytes()
    assert "2 items: 2 done" in done.stdout
    assert "velkcorpus: 2 folders under SRC skipped, a link to a folder above it: linked/up, real/up" in done.stdout


def _chdir_elsewhere(folder):
    os.chdir(folder)


def test_workers_get_absolute_paths(tmp_path, monkeypatch):
    """Workers that run in another folder (a cluster's) still find the inputs and outputs of a run
    given relative paths."""
    (tmp_path / "src").mkdir()
    (tmp_path / "src" / "a.wav").write_bytes(SAMPLE_FILES[0].read_bytes())
    (tmp_path / "elsewhere").mkdir()
    monkeypatch.chdir(tmp_path)
    with ProcessPoolExecutor(1, initializer=_chdir_elsewhere, initargs=(str(tmp_path / "elsewhere"),)) as pool:
        report = corpus.encode("src", "out", executor=pool)
    assert (report.done, report.failed) == (1, 0)
    assert (tmp_path / "out" / "a.lf0").exists() and not (tmp_path / "elsewhere" / "out").exists()


def _without_velk():
    for name in [n for n in sys.modules if n == "velk" or n.startswith("velk.")]:
        sys.modules[name] = None


def test_workers_that_cannot_import_velk_stop_the_run_once(tmp_path):
    (tmp_path / "src").mkdir()
    for k in range(3):
        (tmp_path / "src" / f"{k}.wav").write_bytes(SAMPLE_FILES[0].read_bytes())
    with ProcessPoolExecutor(1, initializer=_without_velk) as pool:
        with pytest.raises(corpus.Refusal, match=r"^the executor's workers cannot run velk: "):
            corpus.encode(tmp_path / "src", tmp_path / "out", executor=pool)
    assert not (tmp_path / "out").exists()
