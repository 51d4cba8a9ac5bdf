"""velkcorpus features: arrays, manifest and statistics of a tree of speakers, shards merged
exactly, resumes, Kaldi lists with speakers, HDF5, and the command's refusals."""
import json
import os
import shutil
import subprocess

import numpy as np
import pytest

import velk
from conftest import SAMPLE_FILES
from velk import featurecorpus

# Two speakers of two items each, and one item at the top (no speaker).
TREE = {"spk1/a.wav": 0, "spk1/b.wav": 1, "spk2/c.wav": 2, "spk2/d.wav": 3, "top.wav": 4}
GRID = ["--hop=160", "--window=640"]


def make_tree(root):
    for relative, sample in TREE.items():
        (root / relative).parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(SAMPLE_FILES[sample], root / relative)
    return root


def run_features(src, outdir, *words):
    return featurecorpus.main(["features", str(src), str(outdir), *GRID, "--quiet", *words])


@pytest.fixture(scope="module")
def tree(tmp_path_factory):
    root = make_tree(tmp_path_factory.mktemp("src"))
    out = tmp_path_factory.mktemp("out")
    assert run_features(root, out) == 0
    return root, out


def manifest(out, name="manifest.jsonl"):
    with open(out / name, encoding="utf-8") as f:
        return [json.loads(line) for line in f]


def stats(out, name="stats.json"):
    with open(out / name, encoding="utf-8") as f:
        return json.load(f)


def test_arrays_are_the_modules_features_on_the_grid(tree):
    root, out = tree
    entries = manifest(out)
    assert [e["name"] for e in entries] == ["spk1/a", "spk1/b", "spk2/c", "spk2/d", "top"]
    assert [e["speaker"] for e in entries] == ["spk1", "spk1", "spk2", "spk2", None]
    for e in entries:
        x, fs = velk.read_wav(root / (e["name"] + ".wav"))
        expected = velk.features(x, fs, hop=160, window=640)
        assert (e["rate"], e["hop"], e["window"], e["center"]) == (16000, 160, 640, True)
        assert e["frames"] == 1 + len(x) // 160 and e["duration"] == len(x) / fs
        assert sorted(e["files"]) == ["energy", "f0", "lf0", "voicing", "vuv"]
        assert e["voiced"] == np.count_nonzero(expected.f0) > 0
        for feature, relative in e["files"].items():
            assert relative == f"{feature}/{e['name']}.npy"
            array = np.load(out / relative)
            assert array.dtype == np.float32
            np.testing.assert_array_equal(array, expected[feature].astype(np.float32))


def test_statistics_are_those_of_the_arrays_for_the_corpus_and_each_speaker(tree):
    _, out = tree
    entries = manifest(out)
    document = stats(out)

    def values(names):
        chosen = [e for e in entries if e["name"] in names]
        f0 = np.concatenate([np.load(out / e["files"]["f0"]) for e in chosen]).astype(np.float64)
        energy = np.concatenate([np.load(out / e["files"]["energy"]) for e in chosen]).astype(np.float64)
        return {"lf0": np.log(f0[f0 > 0]), "energy": energy}

    scopes = {"corpus": (document["corpus"], [e["name"] for e in entries]),
              "spk1": (document["speakers"]["spk1"], ["spk1/a", "spk1/b"]),
              "spk2": (document["speakers"]["spk2"], ["spk2/c", "spk2/d"])}
    assert sorted(document["speakers"]) == ["spk1", "spk2"]
    for scope, (summary, names) in scopes.items():
        for name, v in values(names).items():
            s = summary[name]
            assert s["count"] == len(v) > 0, scope
            assert s["mean"] == pytest.approx(v.mean(), rel=1e-12)
            assert s["std"] == pytest.approx(v.std(), rel=1e-9)
            assert (s["min"], s["max"]) == (v.min(), v.max())
            width = featurecorpus.BIN_WIDTHS[name]
            for key, q in (("p5", 5), ("p95", 95)):
                assert abs(s[key] - np.percentile(v, q, method="lower")) <= width / 2, (scope, name, key)


def test_shards_merged_give_the_single_runs_manifest_and_statistics(tree, tmp_path):
    root, out = tree
    for shard in ("0/2", "1/2"):
        assert run_features(root, tmp_path, "--shard", shard) == 0
    assert featurecorpus.handles(["merge", str(tmp_path)])
    assert featurecorpus.main(["merge", str(tmp_path)]) == 0
    assert sorted(p.name for p in tmp_path.iterdir() if p.is_file()) == ["features.json", "manifest.jsonl",
                                                                        "stats.json"]
    single, merged = stats(out), stats(tmp_path)
    # The accumulators add exactly: counts, extremes and histograms equal, sums up to their order.
    scopes = [("corpus", single["accumulators"]["corpus"], merged["accumulators"]["corpus"])]
    assert sorted(merged["accumulators"]["speakers"]) == ["spk1", "spk2"]
    scopes += [(s, single["accumulators"]["speakers"][s], merged["accumulators"]["speakers"][s])
               for s in ("spk1", "spk2")]
    for scope, a, b in scopes:
        for name in ("lf0", "energy"):
            assert (a[name]["count"], a[name]["min"], a[name]["max"], a[name]["bins"]) == (
                b[name]["count"], b[name]["min"], b[name]["max"], b[name]["bins"]), (scope, name)
            assert b[name]["sum"] == pytest.approx(a[name]["sum"], rel=1e-12)
            assert b[name]["squares"] == pytest.approx(a[name]["squares"], rel=1e-12)
    for name in ("lf0", "energy"):
        for key in ("p5", "p95", "count", "min", "max"):
            assert merged["corpus"][name][key] == single["corpus"][name][key]
    assert manifest(tmp_path) == manifest(out)


def test_a_second_run_skips_finished_items_and_redoes_missing_ones(tree, tmp_path):
    root, _ = tree
    assert run_features(root, tmp_path) == 0
    os.unlink(tmp_path / "energy" / "spk2" / "c.npy")
    before = stats(tmp_path)
    done, skipped, failed, _, unvoiced = featurecorpus.run(str(root), str(tmp_path),
                                                           featurecorpus.parse_settings(GRID))
    assert (done, skipped, failed, unvoiced) == (1, 4, 0, [])
    assert (tmp_path / "energy" / "spk2" / "c.npy").exists()
    assert stats(tmp_path)["corpus"] == before["corpus"]
    assert len(manifest(tmp_path)) == 5


def test_other_settings_are_refused_and_force_starts_afresh(tree, tmp_path, capsys):
    root, _ = tree
    assert run_features(root, tmp_path) == 0
    assert run_features(root, tmp_path, "--no-center") == 255
    assert "other settings (center)" in capsys.readouterr().err
    assert run_features(root, tmp_path, "--no-center", "--force") == 0
    entries = manifest(tmp_path)
    assert all(not e["center"] and e["frames"] == 1 + (e["duration"] * 16000 - 640) // 160 for e in entries)


def test_kaldi_lists_name_speakers_and_hdf5_holds_the_same_arrays(tree, tmp_path):
    root, out = tree
    (tmp_path / "wav.scp").write_text("u1 " + str(root / "spk1/a.wav") + "\nu2 " + str(root / "top.wav") + "\n")
    (tmp_path / "spk2utt").write_text("alice u1\nbob u2\n")
    h5 = tmp_path / "h5"
    assert run_features(tmp_path / "wav.scp", h5, "--format=hdf5", "--features=f0,energy,cc") == 0
    entries = manifest(h5)
    assert [(e["name"], e["speaker"], e["file"], e["group"]) for e in entries] == [
        ("u1", "alice", "features.h5", "u1"), ("u2", "bob", "features.h5", "u2")]
    assert sorted(stats(h5)["speakers"]) == ["alice", "bob"]
    import h5py
    with h5py.File(h5 / "features.h5", "r") as f:
        assert sorted(f["u1"]) == ["cc", "energy", "f0"]
        np.testing.assert_array_equal(f["u1/f0"][()], np.load(out / "f0/spk1/a.npy"))
        assert f["u2/cc"].shape == (entries[1]["frames"], 40)


@pytest.mark.parametrize("words,message", [
    (["--hop=0"], "at least 1 sample"), (["--hop=ten"], "milliseconds"), (["--features=f0,pitch"], "features are"),
    (["--format=csv"], "npy or hdf5"), (["--f0min=10"], "20 <= f0min"), (["--center", "--no-center"], "give one"),
    (["--shard", "2/2"], "not I/N"), (["--jobs", "0"], "positive"), (["--lframe=80"], "unknown option")])
def test_bad_command_lines_are_refused(tree, tmp_path, capsys, words, message):
    root, _ = tree
    assert featurecorpus.main(["features", str(root), str(tmp_path / "o"), *words]) == 255
    assert message in capsys.readouterr().err
    assert not (tmp_path / "o").exists()


def test_a_file_without_voice_is_named_in_the_summary(tmp_path, capsys):
    src = tmp_path / "src"
    src.mkdir()
    velk.write_wav(src / "hiss.wav", np.random.default_rng(5).normal(0, 1e-3, 16000), 16000)
    assert featurecorpus.main(["features", str(src), str(tmp_path / "o")]) == 0
    assert "1 items without voiced frames (their lf0 is 0 throughout): hiss" in capsys.readouterr().out
    entry = manifest(tmp_path / "o")[0]
    assert entry["voiced"] == 0 and not np.load(tmp_path / "o" / entry["files"]["lf0"]).any()


def test_hops_in_milliseconds_follow_each_files_rate(tmp_path):
    src = tmp_path / "src"
    src.mkdir()
    x, fs = velk.read_wav(SAMPLE_FILES[0])
    velk.write_wav(src / "a.wav", x, fs)
    assert featurecorpus.main(["features", str(src), str(tmp_path / "o"), "--hop=12.5ms", "--window=50ms",
                               "--quiet"]) == 0
    assert (manifest(tmp_path / "o")[0]["hop"], manifest(tmp_path / "o")[0]["window"]) == (200, 800)


def test_the_command_velkcorpus_runs_features(tree, tmp_path):
    launcher = os.environ.get("VELKCORPUS")
    if not launcher:
        pytest.skip("VELKCORPUS (the launcher of the build tree) not given")
    root, out = tree
    done = subprocess.run([launcher, "features", root, tmp_path / "o", *GRID, "--quiet", "--jobs", "2"],
                          capture_output=True, text=True, check=False)
    assert (done.returncode, done.stdout, done.stderr) == (0, "", "")
    assert manifest(tmp_path / "o") == manifest(out) and stats(tmp_path / "o") == stats(out)
    usage = subprocess.run([launcher, "features", "--help"], capture_output=True, text=True, check=False)
    assert usage.returncode == 0 and usage.stdout.startswith("usage: velkcorpus features SRC OUTDIR")
