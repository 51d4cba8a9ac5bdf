"""velkcorpus: outputs byte for byte the programs', resuming, shards, settings, failures, signals."""
import json
import os
import pty
import re
import signal
import subprocess
import sys
import time

import pytest

from corpus_support import (CONVERTED, corpus_command, make_tree, summary_rows, tree_bytes, velkcoder_streams,
                            velkdecoder_wav)

OPTIONS = {"ccord": 24, "f0acc": 1}


@pytest.fixture(scope="module")
def corpus(tmp_path_factory):
    """A tree of ordinary names, its items and the streams velkcoder writes for each of them."""
    root = tmp_path_factory.mktemp("corpus")
    items = make_tree(root / "src")
    work = tmp_path_factory.mktemp("reference")
    reference = {name: velkcoder_streams(path, work, OPTIONS) for name, path in items.items()}
    return root / "src", items, reference


@pytest.fixture(scope="module")
def encoded(corpus, tmp_path_factory):
    src, _, _ = corpus
    out = tmp_path_factory.mktemp("encoded") / "out"
    done = corpus_command("encode", src, out, "--ccord=24", "--F0ACC=1", "--jobs", "2")
    assert done.returncode == 0, done
    return out, done


def assert_streams_equal(out, reference):
    for name, streams in reference.items():
        assert [(out / f"{name}.{e}").read_bytes() for e in ("lf0", "cc", "fv")] == streams, name


def test_encode_tree_writes_velkcoder_streams_per_item(corpus, encoded):
    _, items, reference = corpus
    out, done = encoded
    assert_streams_equal(out, reference)
    assert not (out / "notes.lf0").exists()
    assert re.fullmatch(r"velkcorpus: 5 items: 5 done, 0 skipped \(done before\), 0 failed; 0\.00 h of audio in \d+ s",
                        done.stdout.splitlines()[-1])
    record = json.loads((out / "velkcorpus.json").read_text())
    assert record["command"] == "encode" and record["options"] == OPTIONS
    # Without --fs every file is analysed at its own rate: the record leaves the rate, and the
    # frame shift and warping factor that follow it, to each item's own record.
    each = "each file at its own rate"
    assert (record["rate"], record["lframe"], record["ccord"], record["alpha"]) == (each, each, 24, each)
    rows = summary_rows(out / "summary.tsv")
    assert sorted(rows) == sorted(items)
    converted = os.path.splitext(CONVERTED)[0]
    for name, row in rows.items():
        frames = len(reference[name][0]) // 4
        rate, lframe = (22050, 110) if name == converted else (16000, 80)
        assert row[2:4] == [str(rate), str(frames)]
        assert abs(float(row[1]) - frames * lframe / rate) < 0.02
        assert 0 < float(row[4]) <= 1 and float(row[6]) <= float(row[5]) <= float(row[7])
    assert "22050 Hz, 2 channels" in rows[os.path.splitext(CONVERTED)[0]][8]
    assert rows["a"][8] == ""
    assert not (out / "failures.tsv").exists()


def test_rerun_skips_finished_items_and_redoes_changed_inputs(corpus, encoded, tmp_path):
    src, items, _ = corpus
    out, _ = encoded
    before = tree_bytes(out)
    done = corpus_command("encode", src, out, "--ccord=24", "--f0acc=1")
    assert done.returncode == 0
    assert "5 items: 0 done, 5 skipped (done before), 0 failed" in done.stdout
    later = time.time() + 5
    os.utime(items["sub/b"], (later, later))
    done = corpus_command("encode", src, out, "--ccord=24", "--f0acc=1")
    assert "5 items: 1 done, 4 skipped" in done.stdout
    after = tree_bytes(out)
    # the streams are the same; the record keeps the input's new time
    assert {n: b for n, b in after.items() if n != "sub/b.lf0.json"} == {
        n: b for n, b in before.items() if n != "sub/b.lf0.json"}
    assert json.loads(after["sub/b.lf0.json"])["source"]["mtime_ns"] == os.stat(items["sub/b"]).st_mtime_ns
    rows = summary_rows(out / "summary.tsv")
    assert len((out / "summary.tsv").read_text().splitlines()) == 6 and len(rows) == 5


def test_other_settings_are_refused_and_force_starts_afresh(corpus, tmp_path):
    src, items, _ = corpus
    out = tmp_path / "out"
    assert corpus_command("encode", src, out, "--ccord=24").returncode == 0
    before = tree_bytes(out)
    done = corpus_command("encode", src, out, "--ccord=12")
    assert done.returncode == 255
    assert "holds outputs of other settings" in done.stderr and "ccord: 24 in the record, 12 now" in done.stderr
    assert tree_bytes(out) == before
    done = corpus_command("encode", src, out, "--ccord=12", "--force")
    assert done.returncode == 0 and "5 done, 0 skipped" in done.stdout
    assert json.loads((out / "velkcorpus.json").read_text())["ccord"] == 12
    assert (out / "a.cc").stat().st_size == (out / "a.lf0").stat().st_size * 13
    assert len((out / "summary.tsv").read_text().splitlines()) == 6


def test_shards_together_give_the_single_run(corpus, encoded, tmp_path):
    src, _, _ = corpus
    out, _ = encoded
    shards = tmp_path / "shards"
    first = corpus_command("encode", src, shards, "--ccord=24", "--f0acc=1", "--shard", "0/2", "--jobs=1")
    second = corpus_command("encode", src, shards, "--ccord=24", "--f0acc=1", "--shard=1/2")
    assert (first.returncode, second.returncode) == (0, 0)
    assert "3 items: 3 done" in first.stdout and "2 items: 2 done" in second.stdout
    assert not (shards / "summary.tsv").exists()
    # items 0, 2, 4 of the byte order: a, sub/b, with space/é ü
    assert sorted(summary_rows(shards / "summary.0.tsv")) == ["a", "sub/b", "with space/é ü"]
    assert tree_bytes(shards) == tree_bytes(out)
    merged = corpus_command("merge", shards)
    assert merged.returncode == 0 and merged.stdout == "velkcorpus: 5 items in summary.tsv, 0 in failures.tsv\n"
    assert not (shards / "summary.0.tsv").exists()
    assert summary_rows(shards / "summary.tsv") == summary_rows(out / "summary.tsv")


def test_decode_writes_velkdecoder_wavs(corpus, encoded, tmp_path):
    _, items, _ = corpus
    out, _ = encoded
    wavs = tmp_path / "wavs"
    done = corpus_command("decode", out, wavs, "--fpitch=1.2", "--fdur=0.9", "--jobs=2")
    assert done.returncode == 0, done
    options = {"ccord": 24, "morvscale": 1, "fpitch": 1.2, "fdur": 0.9}
    converted = os.path.splitext(CONVERTED)[0]
    for name in items:
        # Each item is synthesised at the rate it was analysed at, with that rate's frame shift
        # and warping factor.
        rate = {"fs": 22050} if name == converted else {}
        wav = velkdecoder_wav(out / name, tmp_path, {**options, **rate})
        assert (wavs / f"{name}.wav").read_bytes() == wav, name
    assert sorted(summary_rows(wavs / "summary.tsv")) == sorted(items)
    assert corpus_command("decode", out, wavs, "--fpitch=1.2", "--fdur=0.9").stdout.count("5 skipped") == 1
    refused = corpus_command("decode", out, tmp_path / "other", "--lframe=100")
    assert refused.returncode == 255 and "--lframe=100: unknown option" in refused.stderr
    refused = corpus_command("decode", corpus[0], tmp_path / "other")
    assert refused.returncode == 255 and "holds no velkcorpus.json" in refused.stderr
    assert not (tmp_path / "other").exists()


def test_lists_name_items_and_record_bad_entries(corpus, tmp_path):
    src, items, reference = corpus
    lists = tmp_path / "lists"
    lists.mkdir()
    scp = lists / "wav.scp"
    scp.write_text("\n".join([
        f"spk1-b {items['sub/b']}",
        f"spk2/x {os.path.relpath(items['a'], lists)}",
        "spk1-b " + str(items["sub/deeper/c"]),
        "piped sox in.flac -t wav - |",
        "lonely",
        "missing nowhere.wav",
        "../escape " + str(items["a"]),
    ]) + "\n", encoding="utf-8")
    out = tmp_path / "scp-out"
    done = corpus_command("encode", scp, out, "--ccord=24", "--f0acc=1")
    assert done.returncode == 1
    assert (out / "spk1-b.lf0").read_bytes() == reference["sub/b"][0]
    assert (out / "spk2" / "x.cc").read_bytes() == reference["a"][1]
    failures = (out / "failures.tsv").read_text().splitlines()
    assert failures[0] == "path\treason" and len(failures) == 6
    reasons = "\n".join(failures)
    assert f"{scp}:4\tpiped entries (cmd |) are not read" in reasons
    assert f"{scp}:5\tno path after the utterance id" in reasons
    assert f"{items['sub/deeper/c']}\tits outputs spk1-b.lf0/.cc/.fv are those of {items['sub/b']}" in reasons
    assert f"No such file or directory: {lists / 'nowhere.wav'}" in reasons
    assert "utterance id ../escape does not name a path inside OUTDIR" in reasons
    assert "7 items: 2 done, 0 skipped (done before), 5 failed" in done.stdout

    listing = lists / "files.txt"
    listing.write_text(f"{os.path.relpath(items['with space/é ü'], lists)}\n\n{items['sub/deeper/c']}\n")
    out = tmp_path / "list-out"
    assert corpus_command("encode", listing, out, "--ccord=24", "--f0acc=1").returncode == 0
    assert (out / "with space" / "é ü.fv").read_bytes() == reference["with space/é ü"][2]
    assert (out / "sub" / "deeper" / "c.lf0").read_bytes() == reference["sub/deeper/c"][0]


def test_bad_files_fail_alone_and_whole_runs_are_refused_up_front(corpus, tmp_path):
    src = tmp_path / "bad"
    (src / "dir.wav").mkdir(parents=True)
    (src / "empty.wav").write_bytes(b"")
    (src / "corrupt.wav").write_bytes(b"RIFF\x10\x00\x00\x00WAVEjunkjunk")
    (src / "good.wav").write_bytes(corpus[1]["a"].read_bytes())
    (src / "good.flac").write_bytes(b"fLaC not really")
    out = tmp_path / "out"
    done = corpus_command("encode", src, out)
    assert done.returncode == 1
    rows = dict(line.split("\t") for line in (out / "failures.tsv").read_text().splitlines()[1:])
    assert set(rows) == {str(src / n) for n in ("empty.wav", "corrupt.wav", "good.flac", "good.wav")}
    assert rows[str(src / "empty.wav")] == (f"could not read {src / 'empty.wav'}: "
                                            "not a sound file (RIFF/WAVE header missing)")
    assert rows[str(src / "corrupt.wav")].startswith(f"could not read {src / 'corrupt.wav'}: ")
    assert rows[str(src / "good.wav")] == f"its outputs good.lf0/.cc/.fv are those of {src / 'good.flac'}"
    assert "4 items: 0 done, 0 skipped (done before), 4 failed" in done.stdout
    assert sorted(os.listdir(out)) == ["failures.tsv", "velkcorpus.json", "velkcorpus.lock"]

    afile = tmp_path / "afile"
    afile.write_text("x")
    (tmp_path / "quiet").mkdir()
    for args, message in [
        ((src, afile), f"Error: {afile} is not a directory"),
        ((tmp_path / "nothing", out), "no such file or directory"),
        ((tmp_path / "quiet", out), "holds no sound files"),
        ((src / "good.wav", out), "is a sound file: SRC is a directory, a .scp list or a list of paths"),
        ((src, out, "--lframe=8x0"), "Error: --lframe=8x0: not an integer"),
        ((src, out, "--ccord=600"), "ccord must lie in 0..511"),
        ((src, out, "--f0load=1"), "--f0load=1: unknown option"),
        ((src, out, "--shard", "2/2"), "--shard 2/2: not I/N with 0 <= I < N"),
        ((src, out, "--jobs", "0"), "--jobs 0: not a positive integer"),
    ]:
        done = corpus_command("encode", *args)
        assert done.returncode == 255 and message in done.stderr, (args, done)
    assert sorted(os.listdir(out)) == ["failures.tsv", "velkcorpus.json", "velkcorpus.lock"]
    for args in (("encode", src), ("fold", src, out), ("encode", src, out, "-jobs=2"), ("merge", out, "--force")):
        done = corpus_command(*args)
        assert done.returncode == 255 and done.stderr.startswith("Error: incorrect input arguments.\nError: ")
    import velk
    version = corpus_command("--version")
    assert (version.returncode, version.stdout) == (0, f"velkcorpus (velk) {velk.__version__}\n")


@pytest.mark.parametrize("stop", [signal.SIGINT, signal.SIGTERM])
def test_interrupted_run_resumes_to_the_uninterrupted_tree(stop, tmp_path, corpus, encoded):
    src = tmp_path / "src"
    make_tree(src, copies=30)
    out = tmp_path / "out"
    child = subprocess.Popen([sys.executable, "-m", "velk.corpus", "encode", src, out, "--ccord=24", "--f0acc=1",
                              "--jobs", "1", "--every", "1"], stdout=subprocess.PIPE, text=True)
    first = child.stdout.readline()
    assert first.startswith("velkcorpus: 1/35 items")
    child.send_signal(stop)
    rest = child.stdout.read()
    assert child.wait() == -stop
    assert f"velkcorpus: interrupted by {signal.Signals(stop).name}; 35 items:" in rest
    partial = tree_bytes(out)
    assert not [n for n in partial if n.endswith(".part")]
    finished = {n[:-len(".lf0")] for n in partial if n.endswith(".lf0")}
    assert 1 <= len(finished) < 35
    assert len(partial) == 4 * len(finished)
    for name in finished:
        assert all(f"{name}.{e}" in partial for e in ("lf0", "cc", "fv", "lf0.json")), name
    assert len(summary_rows(out / "summary.tsv")) == len(finished)
    done = corpus_command("encode", src, out, "--ccord=24", "--f0acc=1")
    assert done.returncode == 0 and f"{35 - len(finished)} done, {len(finished)} skipped" in done.stdout
    whole = tree_bytes(out)
    for name, streams in corpus[2].items():
        assert [whole[f"{name}.{e}"] for e in ("lf0", "cc", "fv")] == streams
    reference = tree_bytes(encoded[0])
    sample_names = {0: "a", 1: "sub/b", 2: "with space/é ü", 3: "sub/deeper/c"}
    for k in range(30):
        if k % 5 in sample_names:
            for e in ("lf0", "cc", "fv"):
                assert whole[f"many/utt {k:03d}.{e}"] == reference[f"{sample_names[k % 5]}.{e}"]
    assert len(summary_rows(out / "summary.tsv")) == 35


def test_progress_lines_quiet_and_terminal_bar(corpus, tmp_path):
    src = corpus[0]
    done = corpus_command("encode", src, tmp_path / "lines", "--every=2")
    lines = done.stdout.splitlines()
    assert [line.split(",")[0] for line in lines[:-2]] == ["velkcorpus: 2/5 items", "velkcorpus: 4/5 items",
                                                           "velkcorpus: 5/5 items"]
    assert lines[-2] == "velkcorpus: 1 file under SRC skipped, not sound files by their names: notes.txt"
    assert "h of audio" in lines[0] and "items/s" in lines[0] and "0 failed" in lines[0] and "left" in lines[0]
    quiet = corpus_command("encode", src, tmp_path / "quiet", "--quiet")
    assert (quiet.returncode, quiet.stdout, quiet.stderr) == (0, "", "")
    # On a terminal, a bar on standard error (tqdm) instead of the lines.
    main, secondary = pty.openpty()
    done = corpus_command("encode", src, tmp_path / "bar", stderr=secondary)
    os.close(secondary)
    screen = os.read(main, 65536).decode()
    os.close(main)
    assert done.returncode == 0 and "5/5" in screen and "h audio, 0 failed" in screen and "100%" in screen
    assert done.stdout.splitlines()[-1].startswith("velkcorpus: 5 items: 5 done")


def test_the_command_velkcorpus_runs_the_module(corpus, encoded, tmp_path):
    launcher = os.environ.get("VELKCORPUS")
    if not launcher:
        pytest.skip("VELKCORPUS (the launcher of the build tree) not given")
    usage = subprocess.run([launcher, "--help"], capture_output=True, text=True, check=False)
    assert usage.returncode == 0 and usage.stdout.startswith("usage: velkcorpus encode SRC OUTDIR")
    done = subprocess.run([launcher, "encode", corpus[0], tmp_path / "out", "--ccord=24", "--f0acc=1", "--quiet"],
                          capture_output=True, text=True, check=False)
    assert (done.returncode, done.stdout, done.stderr) == (0, "", "")
    assert tree_bytes(tmp_path / "out") == tree_bytes(encoded[0])
