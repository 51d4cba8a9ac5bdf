"""The command velkcorpus: its usage text, command line, progress display and signals."""
import os
import signal
import sys
import threading
import time
from typing import Any, List, Optional, Sequence, TextIO, Tuple

import velk
from velk.corpus import (DECODER_OPTIONS, ENCODER_OPTIONS, Refusal, cluster_executor, duration_text, merge,
                         parse_options, reason_of, run)
from velk.corpusargs import RUN_FLAGS, RUN_VALUES, positive, read_command_line, shard_of

__all__ = ["USAGE", "LineProgress", "BarProgress", "SignalStop", "parse_command_line", "main"]

# ---- progress ----


class LineProgress:
    """A flushed line every `every` items, for logs and pipes."""

    def __init__(self, out: Optional[TextIO] = None, every: int = 100) -> None:
        self.out, self.every = out or sys.stdout, every

    def start(self, total: int, failed: int) -> None:
        """Starts counting a run of `total` items, `failed` of them failed before it began."""
        self.total, self.count, self.failed, self.audio, self.began = total, 0, failed, 0.0, time.monotonic()

    def advance(self, seconds: float, failed: int) -> None:
        """One more item, of `seconds` of audio; a line every `every` items and at the end."""
        self.count += 1
        self.failed += failed
        self.audio += seconds
        if self.count % self.every == 0 or self.count == self.total:
            elapsed = max(time.monotonic() - self.began, 1e-9)
            rate = self.count / elapsed
            left = (self.total - self.count) / rate
            print(f"velkcorpus: {self.count}/{self.total} items, {self.audio / 3600:.2f} h of audio,"
                  f" {rate:.2f} items/s, {self.failed} failed, {duration_text(left)} left",
                  file=self.out, flush=True)

    def close(self) -> None:
        """Nothing to close: each line is flushed."""
        pass


class BarProgress:
    """A progress bar on the terminal (tqdm): items, hours of audio, rate, time left, failures."""

    def __init__(self) -> None:
        from tqdm import tqdm
        self.tqdm = tqdm

    def start(self, total: int, failed: int) -> None:
        """Opens the bar of a run of `total` items, `failed` of them failed before it began."""
        self.failed, self.audio = failed, 0.0
        self.bar = self.tqdm(total=total, unit="item", dynamic_ncols=True, smoothing=0.05)
        self.bar.set_postfix_str(self.postfix(), refresh=False)

    def postfix(self) -> str:
        """The text after the bar: hours of audio and failures."""
        return f"{self.audio / 3600:.2f} h audio, {self.failed} failed"

    def advance(self, seconds: float, failed: int) -> None:
        """One more item, of `seconds` of audio."""
        self.failed += failed
        self.audio += seconds
        self.bar.set_postfix_str(self.postfix(), refresh=False)
        self.bar.update(1)

    def close(self) -> None:
        """Closes the bar."""
        self.bar.close()


# ---- the command ----

USAGE = """\
usage: velkcorpus encode SRC OUTDIR [--name=value ...] [run options]
       velkcorpus decode SRC OUTDIR [--name=value ...] [run options]
       velkcorpus merge OUTDIR

encode: every sound file under the directory SRC (every format the reader reads: .wav .flac
  .ogg .opus .mp3 .aiff .au .caf ..., in any letter case; linked folders followed), every
  entry of a Kaldi-style list SRC ending in .scp (utterance-id path), or every path of any
  other list file SRC (one per line) into the parameter set OUTDIR/NAME.lf0, .cc, .fv and its
  settings record NAME.lf0.json, NAME mirroring the path relative to SRC (or the utterance
  id). The options are velkcoder's: lframe ccord ccmeth alpha f0min f0max f0acc zfill
  morvscale fs.
decode: every item of the OUTDIR SRC of an encode run into OUTDIR/NAME.wav, with the rate,
  frame shift, order and warping factor of its record. The options are velkdecoder's:
  fpitch fvpitch fdur fwarp floud fpfilt fdrc wavnorm, and fs (the synthesis resampled to
  that rate).
merge: joins the shards' summary.I.tsv and failures.I.tsv into summary.tsv and failures.tsv
  (refused while a run writes into OUTDIR).
velkcorpus --help prints this text, velkcorpus --version the version.

run options:
  --jobs N             threads on this machine (default: one per core)
  --shard I/N          take items I, I + N, I + 2N, ... of the ordered list (0 <= I < N)
  --scheduler ADDRESS  run the items on the Dask cluster of this scheduler
  --force              start an OUTDIR of other settings afresh (every item redone)
  --quiet              no progress and no summary line
  --every N            a progress line every N items when not on a terminal (default 100)

Items whose outputs are complete are skipped, so a run continues where the last one stopped;
one run at a time writes a shard (or the whole) of an OUTDIR. Failures go to
OUTDIR/failures.tsv, a row per item to OUTDIR/summary.tsv. Exit status: 0 when every item
succeeded, 1 when any failed or the progress output could not be written, 255 when the run
cannot start; a run stopped by SIGINT or SIGTERM, or whose progress reader went away
(SIGPIPE), finishes its running items and ends by that signal."""

def parse_command_line(argv: Sequence[str]) -> Tuple[str, List[str], dict, dict]:
    """(command, positional arguments, codec options, run settings) of a command line."""
    command = argv[0]
    line = read_command_line(argv[1:], RUN_FLAGS, RUN_VALUES)
    positional, codec, given = line.positional, line.words, line.run
    wanted = 1 if command == "merge" else 2
    if command not in ("encode", "decode", "merge"):
        raise Refusal(f"{command}: not a command (encode, decode or merge)")
    if len(positional) != wanted:
        raise Refusal(f"{command} takes {'OUTDIR' if wanted == 1 else 'SRC OUTDIR'}")
    if command == "merge" and (codec or any(v is not None and v is not False for v in given.values())):
        raise Refusal("merge takes no options")
    run_settings = {"force": given["force"], "quiet": given["quiet"], "scheduler": given["scheduler"],
                    "jobs": None, "shard": None, "every": 100}
    if given["jobs"] is not None:
        run_settings["jobs"] = positive(given["jobs"], "--jobs")
    if given["every"] is not None:
        run_settings["every"] = positive(given["every"], "--every")
    if given["shard"] is not None:
        run_settings["shard"] = shard_of(given["shard"])
    kinds = ENCODER_OPTIONS if command == "encode" else DECODER_OPTIONS
    return command, positional, parse_options(codec, kinds), run_settings


class SignalStop(threading.Event):
    """Set by the first SIGINT or SIGTERM (no new items start); a second one ends the process."""

    def __init__(self) -> None:
        super().__init__()
        self.signal = None
        for s in (signal.SIGINT, signal.SIGTERM):
            signal.signal(s, self.caught)

    def caught(self, number: int, frame: Any) -> None:
        """The handler of SIGINT and SIGTERM."""
        if self.signal is not None:
            signal.signal(number, signal.SIG_DFL)
            os.kill(os.getpid(), number)
        self.signal = number
        self.set()


def main(argv: Optional[Sequence[str]] = None) -> int:
    """velkcorpus ARGS (sys.argv[1:] by default); the exit status."""
    argv = sys.argv[1:] if argv is None else list(argv)
    if not argv or argv[0] in ("-h", "--help"):
        print(USAGE)
        return 0
    if argv[0] == "--version":
        print(f"velkcorpus (velk) {velk.__version__}")
        return 0
    from velk import featurecorpus  # velkcorpus features, and merge of its trees

    if featurecorpus.handles(argv):
        return featurecorpus.main(argv)
    try:
        command, positional, options, settings = parse_command_line(argv)
    except Refusal as e:
        print(f"Error: incorrect input arguments.\nError: {e}", file=sys.stderr, flush=True)
        return 255
    if command == "merge":
        try:
            rows, failed = merge(positional[0])
        except (Refusal, OSError) as e:
            print(f"Error: {e}", file=sys.stderr, flush=True)
            return 255
        print(f"velkcorpus: {rows} items in summary.tsv, {failed} in failures.tsv")
        return 0
    stop = SignalStop()
    quiet = settings["quiet"]
    progress = None
    if not quiet:
        progress = LineProgress(every=settings["every"])
        if sys.stderr.isatty():
            try:
                progress = BarProgress()
            except ImportError:  # without tqdm (Debian's python3-tqdm), the lines
                pass
    client = executor = window = None
    try:
        if settings["scheduler"]:
            client, executor, threads = cluster_executor(settings["scheduler"])
            window = 2 * threads
        report = run(command, positional[0], positional[1], options, executor=executor, jobs=settings["jobs"],
                     shard=settings["shard"], force=settings["force"], progress=progress, stop=stop, window=window)
    except Refusal as e:
        print(f"Error: {e}", file=sys.stderr, flush=True)
        return 255
    except OSError as e:
        print(f"Error: {reason_of(e)}", file=sys.stderr, flush=True)
        return 255
    finally:
        if client is not None:
            client.close()
    ended_by = None if report.interrupted is None or report.interrupted is True else report.interrupted
    if report.progress_error is not None and ended_by is None:
        print(f"Error: progress output: {reason_of(report.progress_error)}", file=sys.stderr, flush=True)
    elif not quiet and ended_by != signal.SIGPIPE:
        prefix = f"velkcorpus: interrupted by {signal.Signals(ended_by).name}; " if ended_by else "velkcorpus: "
        try:
            for note in report.notes():
                print("velkcorpus: " + note)
            print(prefix + report.line(), flush=True)
        except BrokenPipeError:  # the reader went away: the run is whole, and ends as a pipe's writer does
            ended_by = ended_by or signal.SIGPIPE
    if ended_by:
        signal.signal(ended_by, signal.SIG_DFL)
        os.kill(os.getpid(), ended_by)
    return 1 if report.failed or report.progress_error is not None else 0
