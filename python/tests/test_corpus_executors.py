"""velk.corpus on any executor: threads, processes and a real Dask cluster of two worker processes
give the programs' streams byte for byte."""
import os
import threading
from concurrent.futures import ProcessPoolExecutor, ThreadPoolExecutor

import pytest

from corpus_support import CONVERTED, corpus_command, make_tree, summary_rows, tree_bytes, velkcoder_streams
from velk import corpus

OPTIONS = {"ccord": 16, "f0min": 70}


@pytest.fixture(scope="module")
def tree(tmp_path_factory):
    root = tmp_path_factory.mktemp("tree")
    items = make_tree(root / "src", copies=3)
    work = tmp_path_factory.mktemp("reference")
    reference = {name: velkcoder_streams(path, work, OPTIONS) for name, path in items.items()}
    return root / "src", reference


def assert_programs_streams(out, reference):
    for name, streams in reference.items():
        assert [(out / f"{name}.{e}").read_bytes() for e in ("lf0", "cc", "fv")] == streams, name


def test_thread_pool_of_the_caller(tree, tmp_path):
    src, reference = tree
    with ThreadPoolExecutor(2) as pool:
        report = corpus.encode(src, tmp_path / "out", OPTIONS, executor=pool)
    assert (report.items, report.done, report.skipped, report.failed, report.interrupted) == (8, 8, 0, 0, None)
    assert_programs_streams(tmp_path / "out", reference)
    # the reader's warning reaches the summary under the caller's own warning filters too
    rows = summary_rows(tmp_path / "out" / "summary.tsv")
    assert "22050 Hz, 2 channels" in rows[os.path.splitext(CONVERTED)[0]][8]
    again = corpus.encode(src, tmp_path / "out", OPTIONS)
    assert (again.done, again.skipped) == (0, 8)


def test_process_pool(tree, tmp_path):
    src, reference = tree
    with ProcessPoolExecutor(2) as pool:
        report = corpus.encode(src, tmp_path / "out", OPTIONS, executor=pool)
    assert (report.done, report.failed) == (8, 0)
    assert_programs_streams(tmp_path / "out", reference)


def test_stopped_run_starts_no_item(tree, tmp_path):
    stop = threading.Event()
    stop.set()
    report = corpus.encode(tree[0], tmp_path / "out", OPTIONS, stop=stop, jobs=1)
    assert report.interrupted is True and report.done == 0
    assert tree_bytes(tmp_path / "out") == {}


def test_refusals_raise_before_anything_is_written(tree, tmp_path):
    with pytest.raises(corpus.Refusal, match=r"^ccord must lie in 0\.\.511"):
        corpus.encode(tree[0], tmp_path / "out", {"ccord": 512})
    with pytest.raises(corpus.Refusal, match="holds no sound files"):
        corpus.encode(tmp_path, tmp_path / "out")
    assert not (tmp_path / "out").exists()


def test_dask_cluster_of_two_worker_processes(tree, tmp_path):
    distributed = pytest.importorskip("distributed")
    src, reference = tree
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                                  silence_logs=40) as cluster, distributed.Client(cluster) as client:
        workers = client.run(os.getpid)
        assert len(set(workers.values())) == 2 and os.getpid() not in workers.values()
        report = corpus.encode(src, tmp_path / "api", OPTIONS, executor=client.get_executor(), window=4)
        assert (report.done, report.failed) == (8, 0)
        assert_programs_streams(tmp_path / "api", reference)
        # the command on the same cluster, shard by shard
        for shard in ("0/2", "1/2"):
            done = corpus_command("encode", src, tmp_path / "cli", "--ccord=16", "--f0min=70", "--shard", shard,
                                  "--scheduler", cluster.scheduler_address)
            assert done.returncode == 0, done
    assert tree_bytes(tmp_path / "cli") == tree_bytes(tmp_path / "api")
    assert corpus_command("merge", tmp_path / "cli").returncode == 0
    assert summary_rows(tmp_path / "cli" / "summary.tsv") == summary_rows(tmp_path / "api" / "summary.tsv")


def test_every_items_warnings_reach_its_row(tmp_path):
    import velk
    from conftest import SAMPLE_FILES

    x = velk.read_wav(SAMPLE_FILES[0])[0].copy()
    x[1000:2000] = 0
    (tmp_path / "src").mkdir()
    for k in range(4):
        velk.write_wav(tmp_path / "src" / f"z{k}.wav", x, 16000)
    report = corpus.encode(tmp_path / "src", tmp_path / "out", jobs=2)
    assert report.done == 4
    rows = summary_rows(tmp_path / "out" / "summary.tsv")
    assert [rows[f"z{k}"][8] for k in range(4)] == ["zeros in the signal have been filled with noise"] * 4


def test_a_run_leaves_the_callers_warning_hook_and_filters_as_they_were(tree, tmp_path):
    import warnings

    import velk

    def hook(*args, **keywords):
        raise AssertionError("an item's warning reached the caller's hook")

    with warnings.catch_warnings():
        warnings.simplefilter("default")
        warnings.showwarning = hook
        filters = list(warnings.filters)
        report = corpus.encode(tree[0], tmp_path / "out", OPTIONS, jobs=2)
        assert report.done == 8
        assert warnings.showwarning is hook and warnings.filters == filters
        # the caller's own warnings, outside the run, go to its hook again
        with pytest.raises(AssertionError, match="caller's hook"):
            velk.read_wav(tree[0] / CONVERTED)


def test_shards_failures_merge_and_decode_of_files_at_their_own_rates(tree, tmp_path):
    src, reference = tree
    bad = tmp_path / "src"
    bad.mkdir()
    for name in ("a", "b", "c"):
        (bad / f"{name}.wav").write_bytes((src / "a.wav").read_bytes())
    (bad / "broken 1.wav").write_bytes(b"RIFF")
    (bad / "broken 2.au").write_bytes(b".snd")
    out = tmp_path / "out"
    reports = [corpus.encode(bad, out, OPTIONS, shard=(k, 2), jobs=1) for k in range(2)]
    assert [(r.items, r.done, r.failed) for r in reports] == [(3, 2, 1), (2, 1, 1)]
    assert sorted(os.listdir(out)) == sorted(["velkcorpus.json", "velkcorpus.lock", "summary.0.tsv", "summary.1.tsv",
                                              "failures.0.tsv", "failures.1.tsv"] +
                                             [f"{n}.{e}" for n in "abc" for e in ("lf0", "cc", "fv", "lf0.json")])
    assert corpus.merge(out) == (3, 2)
    failures = (out / "failures.tsv").read_text().splitlines()
    assert [line.split("\t")[0] for line in failures] == ["path", str(bad / "broken 1.wav"), str(bad / "broken 2.au")]
    assert not [n for n in os.listdir(out) if n.count(".") == 2 and n.endswith(".tsv")]
    # each item decodes by its own record; the run's record, which leaves the rate to each file,
    # and the merged tables play no part
    assert corpus.read_record(out)["rate"] == "each file at its own rate"
    for table in ("summary.tsv", "failures.tsv"):
        (out / table).unlink()
    wavs = tmp_path / "wavs"
    report = corpus.decode(out, wavs, {"fpitch": 0.8}, jobs=2)
    assert (report.done, report.failed) == (3, 0)
    import velk
    expected = velk.to_int16(velk.decode(velk.read_params(out / "a.lf0"), fpitch=0.8)).tobytes()
    assert (wavs / "b.wav").read_bytes()[44:] == expected


class StopAfterFirst:
    """Progress that sets the stop event when the first item is done."""

    def __init__(self, stop):
        self.stop = stop

    def start(self, total, failed):
        self.total = total

    def advance(self, seconds, failed):
        self.stop.set()

    def close(self):
        pass


def test_forced_run_cut_short_leaves_no_item_of_the_old_settings(tree, tmp_path):
    src, _ = tree
    out = tmp_path / "out"
    assert corpus.encode(src, out, OPTIONS).done == 8
    stop = threading.Event()
    cut = corpus.encode(src, out, {"ccord": 12}, force=True, jobs=1, stop=stop, progress=StopAfterFirst(stop))
    assert cut.interrupted is True and 1 <= cut.done <= 2
    # the old outputs are newer than their inputs, but older than the new record: all redone
    rest = corpus.encode(src, out, {"ccord": 12})
    assert (rest.done, rest.skipped) == (8 - cut.done, cut.done)
    for lf0 in out.rglob("*.lf0"):
        assert lf0.with_suffix(".cc").stat().st_size == 13 * lf0.stat().st_size, lf0
    assert len(summary_rows(out / "summary.tsv")) == 8
