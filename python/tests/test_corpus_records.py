"""velkcorpus keeps each item's settings record beside its streams: decode reads every item with the
settings it was written with, whatever the tables say, and resuming redoes an item whose record is
missing, disagrees with its streams, or whose input changed under the read."""
import json
import os
import threading

import pytest

import velk
from conftest import VELKCODER, run
from corpus_support import corpus_command, summary_rows
from test_param_sets import lasts_as_long, wav_rate_and_length
from test_rates import RATES, harmonics
from velk import corpus


def write_tone(path, fs, seconds=0.25):
    path.parent.mkdir(parents=True, exist_ok=True)
    velk.write_wav(path, harmonics(fs, seconds, 150.0, min(fs / 2 - 150, 6000)), fs)




@pytest.fixture(scope="module")
def rates_tree(tmp_path_factory):
    """A file at every rate, one of them with a tab in its name."""
    src = tmp_path_factory.mktemp("rates") / "src"
    names = {fs: f"r{fs}" for fs in RATES}
    names[8000] = "tab\tname"
    for fs, name in names.items():
        write_tone(src / f"{name}.wav", fs)
    return src, names


@pytest.mark.parametrize("lframe", [None, 256, 100])
def test_round_trips_by_file_names_alone_restore_rate_and_duration(rates_tree, tmp_path, lframe):
    src, names = rates_tree
    words = [] if lframe is None else [f"--lframe={lframe}"]
    assert corpus_command("encode", src, tmp_path / "e", "--jobs=2", *words).returncode == 0
    record = json.loads((tmp_path / "e" / "velkcorpus.json").read_text())
    assert record["rate"] == "each file at its own rate"
    assert record["lframe"] == (lframe or "each file at its own rate")
    assert (record["ccord"], record["alpha"]) == ("each file at its own rate", "each file at its own rate")
    # Issue 36's first case: the summary table plays no part (a name with a tab escapes in it).
    (tmp_path / "e" / "summary.tsv").unlink()
    done = corpus_command("decode", tmp_path / "e", tmp_path / "d", "--jobs=2")
    assert done.returncode == 0, done
    for fs, name in names.items():
        rate, length = wav_rate_and_length(tmp_path / "d" / f"{name}.wav")
        shift = velk.read_params(tmp_path / "e" / f"{name}.lf0").lframe
        assert rate == fs and lasts_as_long(length, round(0.25 * fs), shift), (fs, name, length)


def test_decode_fs_resamples_every_item_to_that_rate(rates_tree, tmp_path):
    src, names = rates_tree
    assert corpus_command("encode", src, tmp_path / "e", "--jobs=2").returncode == 0
    done = corpus_command("decode", tmp_path / "e", tmp_path / "d", "--fs=48000", "--jobs=2")
    assert done.returncode == 0, done
    for fs, name in names.items():
        rate, length = wav_rate_and_length(tmp_path / "d" / f"{name}.wav")
        assert rate == 48000 and abs(length / 48000 - 0.25) < 0.02, (fs, length)
        e = velk.read_params(tmp_path / "e" / f"{name}.lf0")
        expected = velk.to_int16(velk.decode(e, fs=48000)).tobytes()
        assert (tmp_path / "d" / f"{name}.wav").read_bytes()[44:] == expected
    assert summary_rows(tmp_path / "d" / "summary.tsv")["r22050"][2] == "48000"
    refused = corpus_command("decode", tmp_path / "e", tmp_path / "x", "--fs=7000")
    assert refused.returncode == 255 and "fs must be a whole number of Hz from 8000 to 48000" in refused.stderr


class StopAfterFirst:
    def __init__(self, stop):
        self.stop = stop

    def start(self, total, failed):
        pass

    def advance(self, seconds, failed):
        self.stop.set()

    def close(self):
        pass


def test_items_not_yet_redone_by_an_interrupted_force_decode_with_their_own_settings(rates_tree, tmp_path):
    """Issue 36's second case."""
    src, names = rates_tree
    out = tmp_path / "e"
    assert corpus.encode(src, out).done == len(names)
    stop = threading.Event()
    cut = corpus.encode(src, out, {"lframe": 50}, force=True, jobs=1, stop=stop, progress=StopAfterFirst(stop))
    assert cut.interrupted is True and 1 <= cut.done < len(names)
    report = corpus.decode(out, tmp_path / "d", jobs=2)
    assert (report.done, report.failed) == (len(names), 0)
    shifts = set()
    for fs, name in names.items():
        shift = velk.read_params(out / f"{name}.lf0").lframe
        shifts.add(shift)
        rate, length = wav_rate_and_length(tmp_path / "d" / f"{name}.wav")
        assert rate == fs and lasts_as_long(length, round(0.25 * fs), shift), (name, length)
    assert 50 in shifts and len(shifts) > 1


def test_resuming_redoes_items_without_a_record_or_disagreeing_with_it(tmp_path):
    src = tmp_path / "src"
    for k in range(5):
        write_tone(src / f"{k}.wav", 16000)
    out = tmp_path / "out"
    assert corpus.encode(src, out).done == 5
    (out / "0.lf0.json").unlink()
    (out / "1.cc").write_bytes((out / "1.cc").read_bytes()[:-160])
    (out / "2.lf0.json").write_text("[]")
    later = (out / "3.fv").read_bytes()
    (out / "3.fv").write_bytes(later + later[:4])
    report = corpus.encode(src, out)
    assert (report.done, report.skipped) == (4, 1)
    for k in range(4):
        assert velk.read_params(out / f"{k}.lf0").cc.shape[1] == 40


def test_an_input_that_changes_under_the_read_fails_and_is_redone(tmp_path, monkeypatch):
    """Issue 36's fifth case: a file still being copied when it was read."""
    src = tmp_path / "src"
    write_tone(src / "a.wav", 16000, seconds=0.5)
    whole = (src / "a.wav").read_bytes()
    (src / "a.wav").write_bytes(whole[:8044])  # the first quarter of a second
    reader = velk.read_wav

    def read_while_copied(path, *args, **keywords):
        result = reader(path, *args, **keywords)
        with open(path, "ab") as f:
            f.write(whole[8044:])  # the copy goes on
        return result

    monkeypatch.setattr(velk, "read_wav", read_while_copied)
    report = corpus.encode(src, tmp_path / "out", jobs=1)
    monkeypatch.undo()
    assert (report.done, report.failed) == (0, 1)
    failures = (tmp_path / "out" / "failures.tsv").read_text()
    assert "changed while it was read (8044 bytes when the read began" in failures
    report = corpus.encode(src, tmp_path / "out", jobs=1)
    assert report.done == 1
    assert len(velk.read_params(tmp_path / "out" / "a.lf0").lf0) == 100  # half a second of 80-sample frames
    # A file replaced by another of the same time (a copy that keeps times) is redone too.
    stamp = os.stat(src / "a.wav").st_mtime_ns
    (src / "a.wav").write_bytes(whole[:12044])
    os.utime(src / "a.wav", ns=(stamp, stamp))
    report = corpus.encode(src, tmp_path / "out", jobs=1)
    assert report.done == 1


def test_an_item_whose_record_is_missing_fails_to_decode_with_the_reason(tmp_path):
    src = tmp_path / "src"
    for k in range(2):
        write_tone(src / f"{k}.wav", 22050)
    assert corpus.encode(src, tmp_path / "e").done == 2
    (tmp_path / "e" / "1.lf0.json").unlink()
    report = corpus.decode(tmp_path / "e", tmp_path / "d")
    assert (report.done, report.failed) == (1, 1)
    failures = (tmp_path / "d" / "failures.tsv").read_text()
    assert "1.lf0.json is missing: the settings of" in failures


def test_a_tree_of_an_earlier_runner_decodes_with_its_run_records_settings(tmp_path):
    src = tmp_path / "src"
    write_tone(src / "a.wav", 16000)
    out = tmp_path / "e"
    assert corpus.encode(src, out, {"fs": 16000, "ccord": 24}).done == 1
    record = corpus.read_record(out)
    assert (record["rate"], record["lframe"], record["ccord"], record["alpha"]) == (16000, 80, 24, 0.42)
    (out / "a.lf0.json").unlink()
    assert corpus.decode(out, tmp_path / "d").done == 1
    lf0, cc, fv = (velk.read_params(out / f"a.{s}") for s in ("lf0", "cc", "fv"))
    expected = velk.to_int16(velk.decode(lf0, cc.reshape(len(lf0), 25), fv, fs=16000))
    assert (tmp_path / "d" / "a.wav").read_bytes()[44:] == expected.tobytes()


def test_an_items_record_is_velkcoders_with_the_inputs_state(tmp_path):
    src = tmp_path / "src"
    write_tone(src / "a.wav", 22050)
    out = tmp_path / "out"
    assert corpus.encode(src, out, {"lframe": 256}).done == 1
    reference = tmp_path / "reference"
    reference.mkdir()
    run(VELKCODER, src / "a.wav", *(reference / f"a.{s}" for s in ("lf0", "cc", "fv")), "--lframe=256")
    text = (out / "a.lf0.json").read_text()
    status = os.stat(src / "a.wav")
    source = f',\n  "source": {{"size": {status.st_size}, "mtime_ns": {status.st_mtime_ns}}}'
    assert source in text
    assert text.replace(source, "") == (reference / "a.lf0.json").read_text()
