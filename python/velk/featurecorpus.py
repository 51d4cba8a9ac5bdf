"""Features of whole corpora for model training: velkcorpus features.

    velkcorpus features SRC OUTDIR [--hop=256] [--window=1024] [--center | --no-center]
        [--features=f0,vuv,voicing,lf0,energy] [--f0min=60] [--f0max=500] [--format=npy|hdf5]
        [--jobs N] [--shard I/N] [--scheduler ADDRESS] [--force] [--quiet]
    velkcorpus merge OUTDIR        (an OUTDIR of feature runs: joins the shards' manifests and
                                    statistics)

Every item of SRC (as velkcorpus encode lists them: a directory, a .scp list or a list of paths)
is read at its own rate and analysed by velk.features on the grid (hop, window, centring) into
one float32 .npy per feature, OUTDIR/FEATURE/NAME.npy (or, with --format=hdf5, one group per
item in one HDF5 file per shard). A sound file at its own rate is read in blocks and its
features written as they come, so that an item's memory does not grow with its length; a file
shorter than its header says or with samples beyond full scale is read whole. Both give the same files.
OUTDIR/manifest.jsonl has a line per item: name, source, speaker, rate, the grid, frames,
duration and its files. OUTDIR/stats.json holds the mean, standard deviation, minimum, maximum
and 5th and 95th percentiles of log-F0 over voiced frames and of energy, for the corpus and for
each speaker, and the accumulators they come from (counts, sums, sums of squares, extremes and
histograms of fixed bins), which merge adds exactly.
"""
import json
import math
import os
import re
import sys
import time
import warnings
from concurrent.futures import Executor, ThreadPoolExecutor, as_completed
from typing import Any, Callable, Dict, Iterable, List, Optional, Sequence, Tuple, Union

import numpy as np

import velk
from velk import corpus
from velk.corpus import PathLike
from velk.corpusargs import RUN_FLAGS, positive, read_command_line, shard_of
from velk.featurestats import BIN_WIDTHS, Statistics, statistics_of, voiced_frames
from velk.featurestores import Hdf5Store, NpyStore, by_name, read_jsonl, shard_suffix, write_json, write_jsonl

__all__ = ["RECORD", "FEATURES", "DEFAULT_FEATURES", "FORMATS", "BIN_WIDTHS", "USAGE", "parse_settings", "run",
           "merge", "holds_features", "handles", "main"]

RECORD = "features.json"
RECORD_FORMAT = 1
FEATURES = ("f0", "vuv", "voicing", "lf0", "energy", "cc", "fv", "margin")
DEFAULT_FEATURES = ("f0", "vuv", "voicing", "lf0", "energy")
FORMATS = ("npy", "hdf5")

USAGE = "usage: " + __doc__.split("\n\n")[1].strip() + """

SRC: a directory (the first folder under it names the speaker), a Kaldi-style .scp list (with a
  utt2spk or spk2utt file beside it naming the speakers) or a list of paths.
--hop, --window: samples, or milliseconds with the suffix ms (--hop=10ms), rounded to the
  nearest sample at each file's rate. Centred (the default): frame t is centred on sample
  t * hop, 1 + N // hop frames; --no-center: frame t covers [t * hop, t * hop + window),
  1 + (N - window) // hop frames (none for N < window).
--features: any of f0 vuv voicing lf0 energy cc fv margin, separated by commas.
--format=hdf5: OUTDIR/features.h5 (features.I.h5 for shard I), one group per item with a
  dataset per feature (Debian's python3-h5py).
Items already in the manifest with their files are skipped, so a run continues where the last
one stopped. Exit status: 0 when every item succeeded, 1 when any failed (listed in
OUTDIR/failures.jsonl, one line per item), 255 when the run cannot start."""


# ---- options ----

LENGTH = re.compile(r"([0-9]+)\Z|([0-9]*\.?[0-9]+)ms\Z")


def parse_length(word: str, name: str) -> Tuple[str, Union[int, float]]:
    """A hop or window: ("samples", n) or ("ms", value)."""
    match = LENGTH.match(word)
    if not match:
        raise corpus.Refusal(f"--{name}={word}: not a number of samples or of milliseconds (10ms)")
    if match[1] is not None:
        if int(match[1]) < 1:
            raise corpus.Refusal(f"--{name}={word}: must be at least 1 sample")
        return ("samples", int(match[1]))
    if not float(match[2]) > 0:
        raise corpus.Refusal(f"--{name}={word}: must be above 0 ms")
    return ("ms", float(match[2]))


def in_samples(length: Tuple[str, Union[int, float]], fs: int) -> int:
    """The length in samples at fs Hz: as given, or milliseconds rounded to the nearest sample."""
    kind, value = length
    return value if kind == "samples" else int(math.floor(value * fs / 1000 + 0.5))


def parse_settings(words: Iterable[str]) -> dict:
    """The feature settings of the --name=value words of a features run."""
    settings = {"hop": ("samples", 256), "window": ("samples", 1024), "center": True,
                "features": list(DEFAULT_FEATURES), "f0min": 60.0, "f0max": 500.0, "format": "npy"}
    seen = set()
    for word in words:
        name, equals, value = word[2:].partition("=")
        if name in seen:
            raise corpus.Refusal(f"{word}: given twice")
        seen.add(name)
        if word in ("--center", "--no-center"):
            if {"center", "no-center"} <= seen:
                raise corpus.Refusal("--center and --no-center: give one")
            settings["center"] = word == "--center"
        elif name in ("hop", "window") and equals:
            settings[name] = parse_length(value, name)
        elif name == "features" and equals:
            wanted = [f for f in value.split(",") if f]
            unknown = [f for f in wanted if f not in FEATURES]
            if unknown or not wanted:
                raise corpus.Refusal(f"{word}: features are among {' '.join(FEATURES)}")
            settings["features"] = [f for f in FEATURES if f in wanted]
        elif name in ("f0min", "f0max") and equals:
            if not corpus.REAL.match(value) or not math.isfinite(float(value)):
                raise corpus.Refusal(f"{word}: not a number")
            settings[name] = float(value)
        elif name == "format" and equals:
            if value not in FORMATS:
                raise corpus.Refusal(f"{word}: the format is npy or hdf5")
            settings["format"] = value
        else:
            raise corpus.Refusal(f"{word}: unknown option")
    if not 20 <= settings["f0min"] < settings["f0max"]:
        raise corpus.Refusal("--f0min and --f0max: 20 <= f0min < f0max")
    return settings


def record_of(settings: dict) -> dict:
    """The settings record of a run (features.json) of these settings."""
    r = dict(settings, format_version=RECORD_FORMAT)
    r["hop"], r["window"] = list(settings["hop"]), list(settings["window"])
    return r


# ---- items and speakers ----


def speakers_of(src: str, items: Iterable[Any]) -> Dict[str, Optional[str]]:
    """{item name: speaker}: for a .scp list, from utt2spk or spk2utt beside it; otherwise the
    first folder of the item's name (None for an item at the top)."""
    if os.path.isfile(src) and src.endswith(".scp"):
        folder = os.path.dirname(os.path.abspath(src))
        table = {}
        utt2spk, spk2utt = os.path.join(folder, "utt2spk"), os.path.join(folder, "spk2utt")
        if os.path.exists(utt2spk):
            with open(utt2spk, encoding="utf-8") as f:
                for line in f:
                    fields = line.split()
                    if len(fields) >= 2:
                        table[fields[0]] = fields[1]
        elif os.path.exists(spk2utt):
            with open(spk2utt, encoding="utf-8") as f:
                for line in f:
                    fields = line.split()
                    for utterance in fields[1:]:
                        table[utterance] = fields[0]
        return {item.name: table.get(item.name) for item in items}
    return {item.name: item.name.split("/")[0] if "/" in item.name else None for item in items}


# ---- the work of one item ----


def grid_at(keywords: dict, fs: int) -> Tuple[int, int]:
    """The hop and window in samples at fs Hz; ValueError when one rounds to no sample."""
    hop, window = in_samples(keywords["hop"], fs), in_samples(keywords["window"], fs)
    if hop < 1 or window < 1:
        raise ValueError("the hop or window rounds to no sample at %d Hz" % fs)
    return hop, window


class BlockSink:
    """The sink of velk._velk.features_file: the blocks of frames, as float32 arrays, to a store's
    item writer, counting the voiced frames on the way."""

    def __init__(self, keywords: dict, blocks: Any) -> None:
        self.keywords, self.blocks, self.voiced = keywords, blocks, 0

    def grid(self, fs: int) -> Tuple[int, int]:
        return grid_at(self.keywords, fs)

    def begin(self, frames: int, width: int) -> None:
        self.blocks.begin({f: width if f == "cc" else None for f in self.keywords["features"]}, frames)

    def write(self, first: int, arrays: Dict[str, np.ndarray]) -> None:
        block = {name: arrays[name].astype(np.float32) for name in self.keywords["features"]}
        self.voiced += voiced_frames(block).get("voiced", 0)
        self.blocks.write(block)


def streamed_item(path: str, keywords: dict, name: str, store: Any) -> Optional[dict]:
    """The features of a sound file read in blocks into the store's item as they come: the
    item's fields (rate, samples, hop, window, frames, voiced count, store fields), or None when
    the file is to be read whole."""
    features = keywords["features"]
    blocks = store.item(name, features)
    sink = BlockSink(keywords, blocks)
    try:
        done = velk._velk.features_file(path, sink, center=keywords["center"], f0min=keywords["f0min"],
                                        f0max=keywords["f0max"], features=features)
        if done is not None:
            blocks.commit()
    except BaseException:
        blocks.abandon()
        raise
    if done is None:
        blocks.abandon()
        return None
    fs, samples, frames, hop, window = done
    voiced = {"voiced": sink.voiced} if {"f0", "vuv"} & set(features) else {}
    return {"rate": fs, "samples": samples, "hop": hop, "window": window, "frames": frames, "voiced": voiced,
            "stored": store.fields(name, features)}


def feature_item(task: tuple) -> Tuple[str, Any, float]:
    """("done", the item's fields, seconds) or ("failed", reason, 0.0) for task = (path, keywords
    with hop and window as lengths, name, store or None). With a store the item writes its arrays
    there (in blocks when the file allows it), otherwise its fields hold them ("arrays")."""
    path, keywords, name, store = task
    try:
        if store is not None:
            fields = streamed_item(path, keywords, name, store)
            if fields is not None:
                return "done", fields, fields["samples"] / fields["rate"]
        x, fs = velk.read_wav(path)
        hop, window = grid_at(keywords, fs)
        result = velk.features(x, fs, **dict(keywords, hop=hop, window=window))
        arrays = {name: result[name].astype(np.float32) for name in keywords["features"]}
        fields = {"rate": fs, "samples": len(x), "hop": hop, "window": window,
                  "frames": len(next(iter(arrays.values()))), "voiced": voiced_frames(arrays)}
        if store is not None:
            fields["stored"] = store.write(name, arrays)
        else:
            fields["arrays"] = arrays
        return "done", fields, len(x) / fs
    except (OSError, ValueError, MemoryError) as error:
        return "failed", str(error) or type(error).__name__, 0.0


# ---- a run ----


def claim(outdir: str, record: dict, force: bool) -> bool:
    """Writes the settings record into outdir, or checks the one there; True when written. Refusal
    for a record of other settings unless force."""
    path = os.path.join(outdir, RECORD)
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            old = json.load(f)
        if old == record:
            return False
        if not force:
            changed = sorted(k for k in set(old) | set(record) if old.get(k) != record.get(k))
            raise corpus.Refusal(f"{outdir} holds features of other settings ({', '.join(changed)}); "
                                 "--force starts it afresh")
    write_json(path, record)
    return True


def run(src: PathLike, outdir: PathLike, settings: dict, *, jobs: Optional[int] = None,
        shard: Optional[Tuple[int, int]] = None, force: bool = False, executor: Optional[Executor] = None,
        progress: Optional[Callable[[int, int], None]] = None) -> Tuple[int, int, int, float, List[str]]:
    """Computes the features of every item of src into outdir; returns (done, skipped, failed,
    seconds of audio, names of the items without voiced frames). Raises corpus.Refusal when the
    run cannot start."""
    src, outdir = os.fspath(src), os.fspath(outdir)
    if not os.path.exists(src):
        raise corpus.Refusal(f"{src}: no such file or directory")
    if os.path.exists(outdir) and not os.path.isdir(outdir):
        raise corpus.Refusal(f"{outdir} is not a directory")
    try:
        items = corpus.encode_items(src, outdir).items
    except (OSError, UnicodeDecodeError) as e:
        raise corpus.Refusal(f"{src}: {e}") from None
    if not items:
        raise corpus.Refusal(f"{src} holds no sound files")
    speakers = speakers_of(src, items)
    if shard is not None:
        items = items[shard[0]::shard[1]]
    os.makedirs(outdir, exist_ok=True)
    afresh = claim(outdir, record_of(settings), force)
    suffix = shard_suffix(shard)
    manifest_path = os.path.join(outdir, f"manifest{suffix}.jsonl")
    store = (Hdf5Store if settings["format"] == "hdf5" else NpyStore)(outdir, shard)
    features = settings["features"]
    own = False
    try:
        entries = [] if afresh else read_jsonl(manifest_path)
        known = {e["name"] for e in entries}
        failures, todo, skipped = [], [], 0
        for item in items:
            if item.problem is not None:
                failures.append({"name": item.name, "source": item.path, "reason": item.problem})
            elif item.name in known and store.has(item.name, features):
                skipped += 1
            else:
                todo.append(item)
        keywords = {"hop": settings["hop"], "window": settings["window"], "center": settings["center"],
                    "f0min": settings["f0min"], "f0max": settings["f0max"], "features": features}
        own = executor is None
        if own:
            executor = ThreadPoolExecutor(jobs or len(os.sched_getaffinity(0)))
        # The items write their own files (npy files anywhere the run's folder is; an HDF5 file only
        # within this process); otherwise they give their arrays back to be written here.
        writer = store if own or isinstance(store, NpyStore) else None
        audio, done = 0.0, 0
        # Lines of other settings must not survive an interruption of a fresh start.
        with open(manifest_path, "w" if afresh else "a", encoding="utf-8") as manifest:
            futures = {executor.submit(feature_item, (item.path, keywords, item.name, writer)): item
                       for item in todo}
            for future in as_completed(futures):
                item = futures.pop(future)
                status, value, seconds = future.result()
                if status == "done":
                    stored = value["stored"] if "stored" in value else store.write(item.name, value["arrays"])
                    entry = {"name": item.name, "source": item.path, "speaker": speakers.get(item.name),
                             "rate": value["rate"], "hop": value["hop"], "window": value["window"],
                             "center": settings["center"], "frames": value["frames"],
                             "duration": value["samples"] / value["rate"], **value["voiced"], **stored}
                    manifest.write(json.dumps(entry, ensure_ascii=False) + "\n")
                    manifest.flush()
                    entries.append(entry)
                    audio += seconds
                    done += 1
                else:
                    failures.append({"name": item.name, "source": item.path, "reason": value})
                if progress is not None:
                    progress(len(todo) - len(futures), len(todo))
        entries = by_name(entries)
        write_jsonl(manifest_path, entries)
        write_json(os.path.join(outdir, f"stats{suffix}.json"), statistics_of(store, entries).document())
        failures_path = os.path.join(outdir, f"failures{suffix}.jsonl")
        if failures:
            write_jsonl(failures_path, failures)
        elif os.path.exists(failures_path):
            os.unlink(failures_path)
    finally:
        if own:  # an interrupted run starts nothing more
            executor.shutdown(wait=True, cancel_futures=True)
        store.close()
    return done, skipped, len(failures), audio, [e["name"] for e in entries if e.get("voiced") == 0]


def holds_features(outdir: str) -> bool:
    """Whether outdir is the tree of a features run (it holds features.json)."""
    return os.path.exists(os.path.join(outdir, RECORD))


SHARD_FILE = re.compile(r"(manifest|stats|failures)\.([0-9]+)\.(jsonl|json)\Z")


def merge(outdir: str) -> int:
    """Joins the shards' manifest.I.jsonl into manifest.jsonl and adds their statistics exactly
    into stats.json (and their failures into failures.jsonl), then removes those shard files.
    Returns the number of items in the manifest."""
    shards = {}
    for name in os.listdir(outdir):
        match = SHARD_FILE.match(name)
        if match:
            shards.setdefault(match[1], []).append(os.path.join(outdir, name))
    whole = {kind: os.path.join(outdir, f"{kind}.{'json' if kind == 'stats' else 'jsonl'}")
             for kind in ("manifest", "stats", "failures")}
    entries = read_jsonl(whole["manifest"])
    for path in sorted(shards.get("manifest", [])):
        entries += read_jsonl(path)
    entries = by_name(entries)
    if not shards.get("stats"):
        raise corpus.Refusal(f"{outdir} holds no shard statistics (stats.I.json) to merge")
    stats = Statistics()
    for path in sorted(shards["stats"]):
        with open(path, encoding="utf-8") as f:
            stats.merge(Statistics.from_document(json.load(f)))
    failures = read_jsonl(whole["failures"])
    for path in sorted(shards.get("failures", [])):
        failures += read_jsonl(path)
    write_jsonl(whole["manifest"], entries)
    write_json(whole["stats"], stats.document())
    if failures:
        write_jsonl(whole["failures"], failures)
    for paths in shards.values():
        for path in paths:
            os.unlink(path)
    return len(entries)


# ---- the command ----


def handles(argv: Sequence[str]) -> bool:
    """Whether a velkcorpus command line is one of this module's: features, or merge of a tree of
    feature runs."""
    return bool(argv) and (argv[0] == "features" or (argv[0] == "merge" and len(argv) == 2 and
                                                      holds_features(argv[1])))


def parse_command_line(words: Sequence[str]) -> Tuple[List[str], dict, dict]:
    """(SRC and OUTDIR, feature settings, run settings) of the words after "features"."""
    line = read_command_line(words, RUN_FLAGS, ("--jobs", "--shard", "--scheduler"))
    run = line.run
    if len(line.positional) != 2:
        raise corpus.Refusal("features takes SRC OUTDIR")
    if run["jobs"] is not None:
        run["jobs"] = positive(run["jobs"], "--jobs")
    if run["shard"] is not None:
        run["shard"] = shard_of(run["shard"])
    return line.positional, parse_settings(line.words), run


def main(argv: Sequence[str]) -> int:
    """velkcorpus features ... and velkcorpus merge OUTDIR of a feature tree; the exit status."""
    if argv[0] == "merge":
        try:
            count = merge(argv[1])
        except (corpus.Refusal, OSError, ValueError, KeyError) as e:
            print(f"Error: {e}", file=sys.stderr, flush=True)
            return 255
        print(f"velkcorpus: {count} items in manifest.jsonl, statistics merged into stats.json")
        return 0
    if len(argv) > 1 and argv[1] in ("-h", "--help"):
        print(USAGE)
        return 0
    try:
        (src, outdir), settings, run_settings = parse_command_line(argv[1:])
    except corpus.Refusal as e:
        print(f"Error: incorrect input arguments.\nError: {e}", file=sys.stderr, flush=True)
        return 255
    began = time.monotonic()
    client = executor = None
    quiet = run_settings["quiet"]

    def progress(done, total):
        if not quiet and (done % 100 == 0 or done == total):
            print(f"velkcorpus: {done}/{total} items", file=sys.stderr, flush=True)

    try:
        if run_settings["scheduler"]:
            client, executor, _ = corpus.cluster_executor(run_settings["scheduler"])
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")  # conversions of the readers: the features do not depend on them
            done, skipped, failed, audio, unvoiced = run(src, outdir, settings, jobs=run_settings["jobs"],
                                               shard=run_settings["shard"], force=run_settings["force"],
                                               executor=executor, progress=progress)
    except (corpus.Refusal, OSError) as e:
        print(f"Error: {e}", file=sys.stderr, flush=True)
        return 255
    finally:
        if client is not None:
            client.close()
    if not quiet:
        print(f"velkcorpus: {done} items done, {skipped} skipped (done before), {failed} failed; "
              f"{audio / 3600:.2f} h of audio in {time.monotonic() - began:.0f} s", flush=True)
        if unvoiced:
            print(f"velkcorpus: {len(unvoiced)} items without voiced frames (their lf0 is 0 throughout): "
                  + ", ".join(unvoiced[:10]) + (", ..." if len(unvoiced) > 10 else ""), flush=True)
    return 1 if failed else 0
