"""velkcorpus features of files read in blocks: the .npy files written block by block hold the
bytes np.save writes for the whole arrays of velk.features, the HDF5 datasets the same values,
on the bundled samples, a wide-rate file and files long enough for several blocks; a sink that
fails ends the item and leaves no file behind."""
import io
import json
import wave

import numpy as np
import pytest

import velk
from conftest import SAMPLE_FILES, SAMPLES
from velk import featurecorpus
from velk.featurestores import NpyStore

EVERY = "f0,vuv,voicing,lf0,energy,cc,fv,margin"


def joined(out, paths, times):
    """A 16-bit mono WAV file at out of the samples of the files (of one rate) one after the
    other, the series repeated `times` times."""
    frames, rate = b"", None
    for path in paths:
        with wave.open(str(path), "rb") as w:
            rate = w.getframerate()
            frames += w.readframes(w.getnframes())
    with wave.open(str(out), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(frames * times)
    return out


@pytest.fixture(scope="module")
def src(tmp_path_factory):
    """The bundled samples, a 48 kHz one, and at 16 and 48 kHz files longer than one piece of the
    analysis (2^18 samples)."""
    root = tmp_path_factory.mktemp("blocks")
    for path in SAMPLE_FILES:
        (root / path.name).write_bytes(path.read_bytes())
    wide = sorted((SAMPLES / "wide").glob("alsa48k_*.wav"))
    (root / "wide.wav").write_bytes(wide[0].read_bytes())
    joined(root / "long16.wav", SAMPLE_FILES, 3)
    joined(root / "long48.wav", wide, 2)
    return root


def whole_arrays(path, features, **grid):
    """The float32 arrays of velk.features of the file read whole."""
    x, fs = velk.read_wav(path)
    result = velk.features(x, fs, features=features, **grid)
    return {f: result[f].astype(np.float32) for f in features}


def npy_bytes(array):
    buffer = io.BytesIO()
    np.save(buffer, array)
    return buffer.getvalue()


class Recorder:
    """A features_file sink that keeps what it is given."""

    def __init__(self, hop, window, fail_at=None):
        self.lengths, self.fail_at, self.blocks, self.begun = (hop, window), fail_at, [], None

    def grid(self, fs):
        self.fs = fs
        return self.lengths

    def begin(self, frames, width):
        self.begun = (frames, width)

    def write(self, first, arrays):
        if self.fail_at is not None and len(self.blocks) == self.fail_at:
            raise OSError("disk full")
        self.blocks.append((first, {f: a.copy() for f, a in arrays.items()}))


def test_blocks_come_in_order_and_join_into_the_whole_arrays(src):
    features = EVERY.split(",")
    for name, grid in [("long16.wav", dict(hop=160, window=640, center=True)),
                       ("long48.wav", dict(hop=480, window=1100, center=False))]:
        sink = Recorder(grid["hop"], grid["window"])
        done = velk._velk.features_file(str(src / name), sink, center=grid["center"], features=features)
        assert done is not None, name
        fs, samples, frames, hop, window = done
        expected = whole_arrays(src / name, features, **grid)
        assert (hop, window, sink.begun) == (grid["hop"], grid["window"], (frames, expected["cc"].shape[1]))
        assert len(sink.blocks) > 1 and frames == len(expected["f0"])
        assert [first for first, _ in sink.blocks] == list(
            np.cumsum([0] + [len(b["f0"]) for _, b in sink.blocks])[:-1])
        for f in features:
            joined_values = np.concatenate([b[f] for _, b in sink.blocks]).astype(np.float32)
            assert joined_values.tobytes() == expected[f].tobytes(), (name, f)


@pytest.mark.parametrize("words", [["--hop=160", "--window=640"],
                                   ["--features=" + EVERY, "--no-center", "--hop=5ms", "--window=1100"]])
def test_npy_files_written_in_blocks_are_the_whole_arrays_bytes(src, tmp_path, monkeypatch, words):
    streamed, read = [], velk._velk.features_file

    def counted(path, *args, **keywords):
        done = read(path, *args, **keywords)
        streamed.append(done is not None)
        return done

    monkeypatch.setattr(velk._velk, "features_file", counted)
    out = tmp_path / "out"
    assert featurecorpus.main(["features", str(src), str(out), "--quiet", *words]) == 0
    assert len(streamed) == len(list(src.glob("*.wav"))) and all(streamed)
    entries = [json.loads(line) for line in (out / "manifest.jsonl").read_text().splitlines()]
    assert sorted(e["name"] for e in entries) == sorted(p.stem for p in src.glob("*.wav"))
    for e in entries:
        features = list(e["files"])
        arrays = whole_arrays(src / (e["name"] + ".wav"), features, hop=e["hop"], window=e["window"],
                              center=e["center"])
        assert e["frames"] == len(arrays[features[0]])
        assert e["voiced"] == np.count_nonzero(arrays["f0"] > 0)
        for f in features:
            assert (out / e["files"][f]).read_bytes() == npy_bytes(arrays[f]), (e["name"], f)
    assert not list(out.rglob("*.part"))


def test_hdf5_datasets_written_in_slices_hold_the_whole_arrays(src, tmp_path):
    h5py = pytest.importorskip("h5py")
    out = tmp_path / "h5"
    assert featurecorpus.main(["features", str(src), str(out), "--format=hdf5", "--features=f0,energy,cc,margin",
                               "--hop=240", "--window=1024", "--quiet"]) == 0
    with h5py.File(out / "features.h5", "r") as f:
        for path in src.glob("*.wav"):
            arrays = whole_arrays(path, ["f0", "energy", "cc", "margin"], hop=240, window=1024)
            for feature, array in arrays.items():
                stored = f[path.stem][feature]
                assert stored.dtype == np.float32 and stored.shape == array.shape
                assert stored[()].tobytes() == array.tobytes(), (path.stem, feature)


def test_a_failing_sink_ends_the_item_and_leaves_no_file(src, tmp_path, monkeypatch):
    sink = Recorder(160, 640, fail_at=1)
    with pytest.raises(OSError, match="disk full"):
        velk._velk.features_file(str(src / "long16.wav"), sink)
    assert len(sink.blocks) == 1
    store = NpyStore(str(tmp_path), None)

    class Failing(featurecorpus.BlockSink):
        def write(self, first, arrays):
            raise OSError("disk full")

    keywords = {"hop": ("samples", 160), "window": ("samples", 640), "center": True, "f0min": 60.0,
                "f0max": 500.0, "features": ["f0", "energy"]}
    monkeypatch.setattr(featurecorpus, "BlockSink", Failing)
    status, reason, _ = featurecorpus.feature_item((str(src / "long16.wav"), keywords, "long16", store))
    assert (status, reason) == ("failed", "disk full")
    assert not [p for p in tmp_path.rglob("*") if p.is_file()]


def test_converted_files_are_taken_in_blocks_and_empty_ones_read_whole(tmp_path):
    with wave.open(str(SAMPLE_FILES[0]), "rb") as w:
        mono = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2")
    # Stereo 16-bit, and mono 24-bit with a low byte that the 16-bit scale keeps as a fraction.
    layouts = {"stereo.wav": (2, 2, np.repeat(mono, 2).tobytes()),
               "pcm24.wav": (1, 3, b"".join((int(v) * 256 + 77).to_bytes(3, "little", signed=True)
                                            for v in mono))}
    for name, (channels, width, data) in layouts.items():
        with wave.open(str(tmp_path / name), "wb") as w:
            w.setnchannels(channels)
            w.setsampwidth(width)
            w.setframerate(16000)
            w.writeframes(data)
        sink = Recorder(160, 640)
        assert velk._velk.features_file(str(tmp_path / name), sink, features=["f0", "energy"]) is not None
        expected = whole_arrays(tmp_path / name, ["f0", "energy"], hop=160, window=640)
        for f in ("f0", "energy"):
            joined_values = np.concatenate([b[f] for _, b in sink.blocks]).astype(np.float32)
            assert joined_values.tobytes() == expected[f].tobytes(), (name, f)
    (tmp_path / "empty.wav").write_bytes(b"")
    assert velk._velk.features_file(str(tmp_path / "empty.wav"), Recorder(160, 640)) is None
