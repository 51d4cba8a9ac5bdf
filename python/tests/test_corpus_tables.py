"""velkcorpus's tables agree with its outputs whatever ends a run: names of any characters, a progress
reader that goes away, records that are not records, two runs of one shard at once."""
import json
import signal
import subprocess
import sys

import pytest

from conftest import SAMPLE_FILES
from corpus_support import corpus_command, summary_rows

# Characters that line splitters other than "\n" break lines at (Python's splitlines among them).
LINE_BREAKERS = ["\x1c", "\x1d", "\x1e", "\x85", "\u2028", "\x0c", "\x0b", "\r", "\t", "\\"]


def test_names_of_any_characters_keep_one_row_each(tmp_path):
    src = tmp_path / "src"
    src.mkdir()
    names = [f"a{c}b" for c in LINE_BREAKERS]
    for name in names:
        (src / f"{name}.wav").write_bytes(SAMPLE_FILES[0].read_bytes())
    done = corpus_command("encode", src, tmp_path / "out", "--jobs=2")
    assert done.returncode == 0, done
    table = tmp_path / "out" / "summary.tsv"
    rows = summary_rows(table)  # split by splitlines, as most readers split
    assert len(rows) == len(names) and len(table.read_text(encoding="utf-8").splitlines()) == len(names) + 1
    # the escapes (JSON's) read back to the names
    assert sorted(json.loads(f'"{n}"') for n in rows) == sorted(names)
    # a resumed run that adds a row rewrites the table with each row once
    (tmp_path / "out" / f"{names[0]}.lf0").unlink()
    again = corpus_command("encode", src, tmp_path / "out")
    assert again.returncode == 0 and f"{len(names)} items: 1 done" in again.stdout
    assert len(summary_rows(table)) == len(names)
    decoded = corpus_command("decode", tmp_path / "out", tmp_path / "wavs", "--jobs=2")
    assert decoded.returncode == 0, decoded
    assert sorted(p.name for p in (tmp_path / "wavs").glob("*.wav")) == sorted(f"{n}.wav" for n in names)
    # lists split at newlines only, too: a carriage return inside a path is part of it
    listing = tmp_path / "wav.scp"
    listing.write_bytes(b"".join(f"id{k} src/{n}.wav\r\n".encode() for k, n in enumerate(names)))
    listed = corpus_command("encode", listing, tmp_path / "listed")
    assert listed.returncode == 0, listed
    assert len(list((tmp_path / "listed").glob("*.lf0"))) == len(names)


def test_a_progress_reader_that_goes_away_ends_the_run_as_sigpipe_with_tables_whole(tmp_path):
    src = tmp_path / "src"
    src.mkdir()
    for k in range(16):
        (src / f"{k:02d}.wav").write_bytes(SAMPLE_FILES[k % len(SAMPLE_FILES)].read_bytes())
    out = tmp_path / "out"
    child = subprocess.Popen([sys.executable, "-m", "velk.corpus", "encode", src, out, "--every", "1", "--jobs=2"],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    assert child.stdout.readline().startswith(b"velkcorpus: 1/16 items")
    child.stdout.close()  # as `| head -1` does
    stderr = child.stderr.read()
    assert child.wait() == -signal.SIGPIPE, stderr
    assert stderr == b""
    written = sorted(p.stem for p in out.glob("*.lf0"))
    assert 1 <= len(written) < 16
    assert sorted(summary_rows(out / "summary.tsv")) == written
    rest = corpus_command("encode", src, out)
    assert rest.returncode == 0 and f"{16 - len(written)} done, {len(written)} skipped" in rest.stdout
    # a reader gone before the summary line: every item done, the run ends as a pipe's writer does
    child = subprocess.Popen([sys.executable, "-m", "velk.corpus", "encode", src, tmp_path / "whole", "--jobs=2"],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    child.stdout.close()
    stderr = child.stderr.read()
    assert child.wait() == -signal.SIGPIPE and stderr == b""
    assert len(summary_rows(tmp_path / "whole" / "summary.tsv")) == 16


@pytest.mark.parametrize("text", ["[]", "null", '"encode"', "3"])
def test_a_settings_record_that_is_no_object_is_refused(tmp_path, text):
    src = tmp_path / "src"
    src.mkdir()
    (src / "a.wav").write_bytes(SAMPLE_FILES[0].read_bytes())
    for command, where in (("encode", tmp_path / "out"), ("decode", tmp_path / "out")):
        where.mkdir(exist_ok=True)
        (where / "velkcorpus.json").write_text(text)
        args = (src, where) if command == "encode" else (where, tmp_path / "wavs")
        done = corpus_command(command, *args)
        assert done.returncode == 255, (command, done)
        assert done.stderr.startswith("Error: ") and "velkcorpus.json" in done.stderr
        assert "Traceback" not in done.stderr


def test_a_second_run_of_the_same_shard_is_refused_while_the_first_holds_it(tmp_path):
    src = tmp_path / "src"
    src.mkdir()
    for k in range(12):
        (src / f"{k:02d}.wav").write_bytes(SAMPLE_FILES[k % len(SAMPLE_FILES)].read_bytes())
    out = tmp_path / "out"
    words = ["encode", src, out, "--shard", "0/2", "--jobs=1"]
    first = subprocess.Popen([sys.executable, "-m", "velk.corpus", *map(str, words), "--every", "1"],
                             stdout=subprocess.PIPE, text=True)
    try:
        assert first.stdout.readline().startswith("velkcorpus: 1/6 items")
        first.send_signal(signal.SIGSTOP)  # holds the shard for as long as the test needs
        second = corpus_command(*words)
        assert second.returncode == 255
        assert second.stderr == f"Error: {out}: another velkcorpus run is writing shard 0 of it\n"
        whole = corpus_command("encode", src, out, "--jobs=1")  # the unsharded run covers shard 0
        assert whole.returncode == 255 and whole.stderr == f"Error: {out}: another velkcorpus run is writing into it\n"
        other = corpus_command("encode", src, out, "--shard", "1/2", "--jobs=1", "--quiet")
        assert other.returncode == 0
        merged = corpus_command("merge", out)  # would take the tables from under the first run
        assert merged.returncode == 255 and merged.stderr == f"Error: {out}: another velkcorpus run is writing into it\n"
        assert (out / "summary.1.tsv").exists()
    finally:
        first.kill()  # as kill -9 does: the lock goes with the process
        first.wait()
    resumed = corpus_command(*words)
    assert resumed.returncode == 0 and "6 items:" in resumed.stdout
    assert len(summary_rows(out / "summary.0.tsv")) == 6
    assert len((out / "summary.0.tsv").read_text().splitlines()) == 1 + 6
