"""Encode and decode whole corpora: velkcorpus.

    velkcorpus encode SRC OUTDIR [--name=value ...] [--jobs N] [--shard I/N] [--scheduler ADDRESS]
    velkcorpus decode SRC OUTDIR [--name=value ...] [same run options]
    velkcorpus merge OUTDIR

Every item runs the module's own analysis or synthesis (the library code of velkcoder and
velkdecoder, without the GIL), so its files are byte for byte the programs' files. A run lists
its items in the byte order of their relative names, skips those whose outputs are already
complete, and runs the rest on threads, on any concurrent.futures.Executor, or on a Dask cluster.
The settings record OUTDIR/velkcorpus.json keeps a tree from mixing outputs of other settings;
each item's parameter set carries its own record (NAME.lf0.json), by which decode reads it.
"""
import json
import os
import signal
import sys
import threading
import time
from concurrent.futures import FIRST_COMPLETED, Executor, ThreadPoolExecutor, wait
from dataclasses import dataclass, field
from typing import Any, Iterable, List, Optional, Sequence, Tuple, Union

import velk
# The parts of a run, and the names of the package's interface to them (velk.corpus.Refusal,
# encode_items, read_record, merge, ...).
from velk.corpusitems import Refusal, decode_items, encode_items
from velk.corpussettings import (CODEC_SETTINGS, DECODER_OPTIONS, ENCODER_OPTIONS, INTEGER, REAL, claim,
                                 decode_record, encode_record, encoder_keywords, parse_options, read_record)
from velk.corpustables import (FAILURES_HEADER, SUMMARY_HEADER, Table, hold, merge, rows_by_key, table_names,
                               write_sorted)
from velk.corpuswork import ITEM_RECORD, STREAMS, decode_item, encode_item, reason_of, source_state

# A path as the run takes it: a string or any os.PathLike.
PathLike = Union[str, "os.PathLike[str]"]

__all__ = ["DECODER_OPTIONS", "ENCODER_OPTIONS", "INTEGER", "REAL", "Refusal", "Report", "cluster_executor",
           "decode", "decode_items", "encode", "encode_items", "main", "merge", "parse_options", "read_record", "run"]


# ---- a run ----


@dataclass
class Report:
    """What a run did: items of its shard, done now, skipped as done before, failed; seconds of
    audio done now; wall time; the signal that interrupted it (None when it ran to its end)."""
    items: int = 0
    done: int = 0
    skipped: int = 0
    failed: int = 0
    audio: float = 0.0
    elapsed: float = 0.0
    interrupted: object = None
    failures: str = field(default="", repr=False)
    other_files: list = field(default_factory=list, repr=False)
    loops: list = field(default_factory=list, repr=False)
    progress_error: OSError = field(default=None, repr=False)

    def notes(self) -> List[str]:
        """Lines naming what the scan of SRC left out, for the summary."""
        lines = []
        if self.other_files:
            count = len(self.other_files)
            lines.append(f"{count} file{'s' if count > 1 else ''} under SRC skipped, not sound files by their names: "
                         + names_text(self.other_files))
        if self.loops:
            count = len(self.loops)
            lines.append(f"{count} folder{'s' if count > 1 else ''} under SRC skipped, a link to a folder above it: "
                         + names_text(self.loops))
        return lines

    def line(self) -> str:
        """The summary line of the run: items done, skipped and failed, hours of audio, time taken."""
        hours = self.audio / 3600
        text = (f"{self.items} items: {self.done} done, {self.skipped} skipped (done before), {self.failed} failed;"
                f" {hours:.2f} h of audio in {duration_text(self.elapsed)}")
        if self.failed:
            text += f"; failures in {self.failures}"
        return text


def names_text(names: Iterable[str], shown: int = 10) -> str:
    """Names in byte order, the first `shown` of them and how many more."""
    names = sorted(names, key=os.fsencode)
    text = ", ".join(names[:shown])
    return text + (f" and {len(names) - shown} more" if len(names) > shown else "")


def duration_text(seconds: float) -> str:
    """A duration as "42 s", "3 min 5 s" or "2 h 10 min"."""
    seconds = int(round(seconds))
    if seconds < 60:
        return f"{seconds} s"
    if seconds < 3600:
        return f"{seconds // 60} min {seconds % 60} s"
    return f"{seconds // 3600} h {seconds // 60 % 60} min"


def _newer(outputs, inputs, started):
    """Whether every output is present and newer than every input and than the settings record."""
    try:
        floor = max([os.stat(p).st_mtime_ns for p in inputs] + [started])
        return all(os.stat(o).st_mtime_ns > floor for o in outputs)
    except OSError:
        return False


def _encoded(path, base, started):
    """Whether an item's set is finished: its streams and record newer than the run's record, the
    record agreeing with the streams, and the input as it was read (its size and time as the record
    keeps them; in a record without them, older than the outputs)."""
    outputs = [base + extension for extension in (*STREAMS, ITEM_RECORD)]
    if not _newer(outputs, [], started) or velk._velk.param_set_problem(base + ".lf0") is not None:
        return False
    try:
        with open(base + ITEM_RECORD, encoding="utf-8") as f:
            source = json.load(f).get("source")
        return source_state(path) == source if source is not None else _newer(outputs, [path], started)
    except (OSError, ValueError, AttributeError):
        return False


def _encode_plan(items, outdir, options, started):
    """(item, task, finished) of each item of an encode run."""
    keywords = encoder_keywords(options)
    for item in items:
        base = os.path.join(outdir, item.name)
        # absolute paths: workers of a cluster run in folders of their own
        task = (os.path.abspath(item.path), os.path.abspath(base), keywords, options.get("fs"))
        yield item, task, lambda path=item.path, base=base: _encoded(path, base, started)


def _fallback(record):
    """The settings of the run's record for items without a record of their own, when it gave them."""
    settings = {k: record.get(k) for k in ("rate", *CODEC_SETTINGS)}
    if not all(isinstance(settings[k], (int, float)) for k in ("rate", "ccord", "morvscale")):
        return None
    return {k: v if isinstance(v, (int, float)) else None for k, v in settings.items()}


def _decode_plan(items, src, outdir, source, options, started):
    """(item, task, finished) of each item of a decode run of the encode tree src."""
    fallback = _fallback(source)
    for item in items:
        base = os.path.join(src, item.name)
        inputs = [base + e for e in (*STREAMS, ITEM_RECORD) if e in (".lf0", ".cc") or os.path.exists(base + e)]
        out = os.path.join(outdir, item.name + ".wav")
        task = (os.path.abspath(base), os.path.abspath(out), options, fallback)
        yield item, task, lambda out=out, inputs=inputs: _newer([out], inputs, started)


def _scan(command, src, outdir, options):
    """The run's settings record and the scan of its items."""
    try:
        if command == "encode":
            return encode_record(options), encode_items(src, outdir)
        if command == "decode":
            if os.path.realpath(src) == os.path.realpath(outdir):
                raise Refusal("decode writes into another OUTDIR than its SRC")
            return decode_record(src, options), decode_items(src, outdir)
        raise Refusal(f"{command}: not a command (encode, decode or merge)")
    except (OSError, UnicodeDecodeError) as e:
        raise Refusal(f"{src}: {reason_of(e)}") from None


def worker_version() -> str:
    """The velk version a worker runs (a worker that cannot import velk fails to run this)."""
    return velk.__version__


def check_workers(executor: Executor) -> None:
    """Refuses the run when the executor's workers cannot run velk or run another version, once,
    instead of failing every item."""
    try:
        version = executor.submit(worker_version).result()
    except Exception as error:  # whatever the executor reports of a worker that cannot run it
        raise Refusal(f"the executor's workers cannot run velk: {reason_of(error)}") from None
    if version != velk.__version__:
        raise Refusal(f"the executor's workers run velk {version}, this host {velk.__version__}")


class Halt:
    """Whether a run starts more items: not once the caller's stop event is set, nor once the
    progress output failed (its error kept, SIGPIPE for a reader that went away)."""

    def __init__(self, stop: Optional[threading.Event]) -> None:
        self.stop, self.error = stop, None

    def is_set(self) -> bool:
        """Whether the run is to start no more items."""
        return self.error is not None or (self.stop is not None and self.stop.is_set())

    def reason(self) -> Union[None, bool, int]:
        """What ended the run early: the signal (SIGPIPE for a closed progress reader), True for a
        stop event without one, None when it ran to its end."""
        if isinstance(self.error, BrokenPipeError):
            return signal.SIGPIPE
        if self.stop is not None and self.stop.is_set():
            return getattr(self.stop, "signal", None) or True
        return None

    def report(self, progress: Any, method: str, *args: Any) -> None:
        """Calls the progress method; a failed write stops the run instead of losing its rows."""
        if progress is None or self.error is not None:
            return
        try:
            getattr(progress, method)(*args)
        except OSError as error:
            self.error = error


def _collect(todo, function, executor, window, halt, progress, summary, failures, report):
    """Runs the todo items, at most window of them at a time, adding each one's row as it ends."""
    pending = {}
    queue = iter(todo)
    more = True
    while True:
        while more and len(pending) < window and not halt.is_set():
            entry = next(queue, None)
            if entry is None:
                more = False
                break
            pending[executor.submit(function, entry[1])] = entry[0]
        if not pending:
            return
        finished, _ = wait(pending, timeout=0.5, return_when=FIRST_COMPLETED)
        if halt.is_set():
            for future in pending:
                future.cancel()
        for future in finished:
            item = pending.pop(future)
            if future.cancelled():
                continue
            try:
                status, value, seconds = future.result()
            except Exception as error:  # a worker that died or could not run the item
                status, value, seconds = "failed", reason_of(error), 0.0
            if status == "done":
                summary.add([item.name, *value])
                report.done += 1
                report.audio += seconds
            else:
                failures.add([item.path, value])
                report.failed += 1
            halt.report(progress, "advance", seconds, status != "done")
        for future in [f for f in pending if f.cancelled()]:
            del pending[future]


def run(command: str, src: PathLike, outdir: PathLike, options: Optional[dict] = None, *,
        executor: Optional[Executor] = None, jobs: Optional[int] = None, shard: Optional[Tuple[int, int]] = None,
        force: bool = False, progress=None, stop: Optional[threading.Event] = None,
        window: Optional[int] = None) -> "Report":
    """Encodes (command "encode") or decodes ("decode") the items of src into outdir.

    options: the programs' options by name ({"ccord": 24}); executor: any
    concurrent.futures.Executor (default: a ThreadPoolExecutor of jobs threads, default one per
    core); shard: (I, N) to take items I, I + N, ...; force: start a tree of other settings
    afresh; progress: an object with start(total) and advance(seconds, failed) and close(); stop:
    a threading.Event, set to start no more items. Returns a Report. Raises Refusal when the run
    cannot start."""
    began = time.monotonic()
    options = dict(options or {})
    src, outdir = os.fspath(src), os.fspath(outdir)
    if os.path.exists(outdir) and not os.path.isdir(outdir):
        raise Refusal(f"{outdir} is not a directory")
    if not os.path.exists(src):
        raise Refusal(f"{src}: no such file or directory")
    if shard is not None and not (0 <= shard[0] < shard[1]):
        raise Refusal(f"shard {shard[0]}/{shard[1]}: I must lie in 0 .. N - 1")
    record, scan = _scan(command, src, outdir, options)
    items = scan.items
    if not items:
        raise Refusal(f"{src} holds no {'sound files' if command == 'encode' else 'encoded items (NAME.lf0)'}")
    if executor is not None:
        check_workers(executor)
    try:
        os.makedirs(outdir, exist_ok=True)
        lock = hold(outdir, shard)
    except OSError as e:
        raise Refusal(f"{outdir}: {reason_of(e)}") from None
    with lock:
        try:
            started = claim(outdir, record, force)
        except OSError as e:
            raise Refusal(f"{outdir}: {reason_of(e)}") from None
        if shard is not None:
            items = items[shard[0]::shard[1]]
        summary_name, failures_name = table_names(shard)
        summary = Table(os.path.join(outdir, summary_name), SUMMARY_HEADER)
        failures = Table(os.path.join(outdir, failures_name), FAILURES_HEADER, fresh=True)
        resumed = os.path.exists(summary.path)
        report = Report(items=len(items), failures=failures.path, other_files=scan.other_files, loops=scan.loops)
        plan = (_encode_plan(items, outdir, options, started) if command == "encode"
                else _decode_plan(items, src, outdir, read_record(src), options, started))
        todo = []
        for item, task, finished in plan:
            if item.problem is not None:
                failures.add([item.path, item.problem])
                report.failed += 1
            elif finished():
                report.skipped += 1
            else:
                todo.append((item, task))
        function = encode_item if command == "encode" else decode_item
        own = executor is None
        workers = jobs or len(os.sched_getaffinity(0))
        if own:
            executor = ThreadPoolExecutor(workers)
        halt = Halt(stop)
        halt.report(progress, "start", len(todo), report.failed)
        try:
            _collect(todo, function, executor, window or 2 * workers, halt, progress, summary, failures, report)
        finally:
            if own:
                executor.shutdown(wait=True, cancel_futures=True)
            summary.close()
            failures.close()
            halt.report(progress, "close")
        report.interrupted = halt.reason()
        report.progress_error = halt.error
        if shard is None and resumed and report.done:
            write_sorted(summary.path, SUMMARY_HEADER, rows_by_key([summary.path]))
    report.elapsed = time.monotonic() - began
    return report


def encode(src: PathLike, outdir: PathLike, options: Optional[dict] = None, **run_options) -> "Report":
    """Encodes every sound file of src (a directory, a .scp list or a list of paths) into outdir;
    see run() for the rest."""
    return run("encode", src, outdir, options, **run_options)


def decode(src: PathLike, outdir: PathLike, options: Optional[dict] = None, **run_options) -> "Report":
    """Decodes every item of the encode tree src into outdir/NAME.wav; see run()."""
    return run("decode", src, outdir, options, **run_options)


def cluster_executor(address: str) -> Tuple[Any, Executor, int]:
    """The executor and the number of threads of the Dask cluster at address."""
    try:
        import distributed
    except ImportError:
        raise Refusal("--scheduler needs Dask's distributed (Debian's python3-distributed)") from None
    client = distributed.Client(address)
    return client, client.get_executor(), max(1, sum(client.nthreads().values()))


def main(argv: Optional[Sequence[str]] = None) -> int:
    """The command velkcorpus (velk.corpuscommand)."""
    from velk.corpuscommand import main as command

    return command(argv)


if __name__ == "__main__":
    # Run as python3 -m velk.corpus: the functions are taken from the module velk.corpus (not
    # from __main__) so that process pools and cluster workers find them by that name.
    from velk.corpus import main as corpus_main

    sys.exit(corpus_main())
