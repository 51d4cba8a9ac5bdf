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
import errno
import fcntl
import json
import os
import re
import signal
import sys
import threading
import time
import warnings
from concurrent.futures import FIRST_COMPLETED, ThreadPoolExecutor, wait
from dataclasses import dataclass, field

import numpy as np

import velk

# The extensions of the formats the sound reader reads (libsndfile's, with their usual aliases),
# compared in lower case. Headerless raw files are not among them: they do not say their format.
SOUND_EXTENSIONS = (".aif", ".aifc", ".aiff", ".au", ".avr", ".caf", ".flac", ".htk", ".iff", ".m1a", ".m2a",
                    ".mat", ".mp1", ".mp2", ".mp3", ".mpc", ".mpga", ".nist", ".oga", ".ogg", ".opus", ".paf",
                    ".pvf", ".rf64", ".sd2", ".sds", ".sf", ".snd", ".sph", ".svx", ".voc", ".w64", ".wav",
                    ".wave", ".wve", ".xi")
RECORD = "velkcorpus.json"
RECORD_FORMAT = 1

# The programs' options with their kinds. The encoder's `fs` resamples every file to that rate
# first; the decoder takes the rate, frame shift, order, warping factor and range adaptation of
# each item from the settings record beside its streams, and its `fs` resamples the synthesis to
# that rate, as velkdecoder's does.
ENCODER_OPTIONS = {"lframe": int, "ccord": int, "ccmeth": int, "alpha": float, "f0min": float,
                   "f0max": float, "f0acc": int, "zfill": int, "morvscale": int, "fs": int}
DECODER_OPTIONS = {"fpitch": float, "fvpitch": float, "fdur": float, "fwarp": float, "floud": float,
                   "fpfilt": float, "fdrc": float, "wavnorm": int, "fs": int}
CODEC_SETTINGS = ("lframe", "ccord", "alpha", "morvscale")
# What the run's record says of a setting that follows each file's rate.
EACH_FILE = "each file at its own rate"
# An item's outputs: the three streams and the settings record beside them.
STREAMS = (".lf0", ".cc", ".fv")
ITEM_RECORD = ".lf0.json"
UNVOICED = -1e10


class Refusal(Exception):
    """The run cannot start; the message says why."""


# ---- options ----

INTEGER = re.compile(r"[+-]?[0-9]+\Z")
REAL = re.compile(r"[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?\Z|[+-]?(inf|infinity|nan)\Z", re.I)


def parse_options(words, kinds):
    """{name: value} of --name=value words, by the programs' rules: names in any letter case,
    each given once, a value that makes up the whole text and fits its kind."""
    options = {}
    for word in words:
        name, equals, text = word[2:].partition("=")
        name = name.lower()
        if not word.startswith("--") or not equals or name not in kinds:
            raise Refusal(f"{word}: unknown option")
        if name in options:
            raise Refusal(f"{word}: given twice")
        kind = kinds[name]
        if not (INTEGER if kind is int else REAL).match(text):
            raise Refusal(f"{word}: not {'an integer' if kind is int else 'a number'}")
        value = kind(text)
        if kind is int and not -2**31 <= value < 2**31:
            raise Refusal(f"{word}: outside the 32-bit range")
        options[name] = value
    return options


def encoder_keywords(options):
    """The encode() keywords of the encoder options: all but fs, a negative f0acc counting as 5
    as velkcoder counts it."""
    keywords = {k: v for k, v in options.items() if k != "fs"}
    if keywords.get("f0acc", 0) < 0:
        keywords["f0acc"] = 5
    return keywords


def check_with_module(function, *args, **keywords):
    """Runs the module on a small signal with the options, so that options it refuses refuse the
    run once instead of failing every item."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        try:
            return function(*args, **keywords)
        except (TypeError, ValueError) as e:
            raise Refusal(str(e).splitlines()[0]) from None


def encode_record(options):
    """The settings record of an encode run with these options: each setting that follows the
    rate as the module sets it for --fs, or EACH_FILE without it."""
    rate = options.get("fs")
    probe = np.sin(np.arange(4000) * 0.1) * 0.1
    e = check_with_module(velk.encode, probe, rate or 16000, **encoder_keywords(options))
    record = {"velkcorpus": RECORD_FORMAT, "command": "encode", "version": velk.__version__,
              "options": options, "rate": rate or EACH_FILE}
    for name in CODEC_SETTINGS:
        if name in options:
            record[name] = options[name]
        elif rate is not None or name == "morvscale":  # as the probe at that rate analysed
            value = getattr(e, name)
            record[name] = float(value) if name == "alpha" else int(value)
        else:
            record[name] = EACH_FILE
    return record


def read_record(directory):
    """The run's settings record in directory; ValueError when it is no JSON object."""
    with open(os.path.join(directory, RECORD), encoding="utf-8") as f:
        record = json.load(f)
    if not isinstance(record, dict):
        raise ValueError(f"a JSON {type(record).__name__ if record is not None else 'null'}, not a settings record")
    return record


def decode_record(src, options):
    """The settings record of a decode run of the encode tree src with these decoder options."""
    try:
        source = read_record(src)
    except FileNotFoundError:
        raise Refusal(f"{src} holds no {RECORD}: decode takes an OUTDIR that velkcorpus encode wrote") from None
    except (OSError, ValueError) as e:
        raise Refusal(f"{os.path.join(src, RECORD)}: {e}") from None
    if source.get("command") != "encode":
        raise Refusal(f"{os.path.join(src, RECORD)} is not the record of an encode run")
    check_with_module(velk.decode, np.zeros(4), np.zeros((4, 40)), **{"fs": 16000, **options})
    return {"velkcorpus": RECORD_FORMAT, "command": "decode", "version": velk.__version__, "options": options,
            **{k: source.get(k) for k in ("rate", *CODEC_SETTINGS)}}


# ---- the settings record ----


def differences(old, new):
    """The settings two records differ in, each option and setting by its name."""
    def flat(record):
        options = record.get("options") if isinstance(record.get("options"), dict) else {}
        return {**options, **{k: v for k, v in record.items() if k != "options"}}

    old, new = flat(old), flat(new)
    return ", ".join(f"{k}: {json.dumps(old.get(k))} in the record, {json.dumps(new.get(k))} now"
                     for k in sorted(set(old) | set(new)) if old.get(k) != new.get(k))


def claim(outdir, record, force):
    """Creates the settings record in outdir, or checks that the one there holds these settings.
    Created by a hard link of a complete temporary file, so that runs starting together agree on
    one record and none reads a half-written one. With force, other settings replace the record:
    every output older than the record counts as missing, and the summary tables of the old
    settings go. Returns the record's time."""
    path = os.path.join(outdir, RECORD)
    text = json.dumps(record, indent=1, sort_keys=True) + "\n"
    temporary = f"{path}.{os.getpid()}.{threading.get_ident()}.part"
    with open(temporary, "w", encoding="utf-8") as f:
        f.write(text)
    try:
        try:
            os.link(temporary, path)
            return os.stat(path).st_mtime_ns
        except FileExistsError:
            pass
        except OSError:  # a file system without hard links: an exclusive create, written at once
            try:
                with open(path, "x", encoding="utf-8") as f:
                    f.write(text)
                return os.stat(path).st_mtime_ns
            except FileExistsError:
                time.sleep(0.5)  # the run that created it is writing it
        try:
            existing = read_record(outdir)
        except (OSError, ValueError) as e:
            raise Refusal(f"{path}: unreadable settings record ({e}); remove it to start afresh") from None
        if existing == record:
            return os.stat(path).st_mtime_ns
        if not force:
            raise Refusal(f"{outdir} holds outputs of other settings ({differences(existing, record)}); "
                          "--force starts it afresh with these")
        os.replace(temporary, path)
        for table in [os.path.join(outdir, "summary.tsv")] + shard_tables(outdir, "summary"):
            if os.path.exists(table):
                os.unlink(table)
        return os.stat(path).st_mtime_ns
    finally:
        if os.path.exists(temporary):
            os.unlink(temporary)


# ---- items ----


@dataclass
class Item:
    """One unit of work: its name (the relative path of its outputs, without extension), its
    input path, and the reason it cannot run (a bad list line, a name another item took)."""
    name: str
    path: str
    problem: str = None


def byte_order(items):
    return sorted(items, key=lambda item: (os.fsencode(item.name), os.fsencode(item.path)))


def stem(relative):
    root, extension = os.path.splitext(relative)
    return root if extension and not root.endswith("/") else relative


@dataclass
class Scan:
    """The items of a directory and what it left out: files of other extensions and links to
    folders above them (relative paths)."""
    items: list = field(default_factory=list)
    other_files: list = field(default_factory=list)
    loops: list = field(default_factory=list)


def walk(src, wanted, skip=None):
    """The items of every file under src whose extension (in lower case) is wanted, following
    links to folders except those that lead back to a folder on their own path; a directory that
    cannot be read becomes a failed item. The directory skip (an OUTDIR inside src) is left out."""
    scan = Scan()

    def unreadable(error):
        scan.items.append(Item(os.path.relpath(error.filename, src), error.filename, error.strerror))

    above = {src: {os.path.realpath(src)}}  # the real folders on the path to each folder walked
    for top, dirs, files in os.walk(src, onerror=unreadable, followlinks=True):
        chain = above.pop(top)
        kept = []
        for d in dirs:
            path = os.path.join(top, d)
            real = os.path.realpath(path)
            if real == skip:
                continue
            if real in chain:
                scan.loops.append(os.path.relpath(path, src))
                continue
            above[path] = chain | {real}
            kept.append(d)
        dirs[:] = kept
        for name in files:
            path = os.path.join(top, name)
            if os.path.splitext(name)[1].lower() in wanted:
                scan.items.append(Item(stem(os.path.relpath(path, src)), path))
            else:
                scan.other_files.append(os.path.relpath(path, src))
    return scan


PIPED = "piped entries (cmd |) are not read; write the audio to files first"


def scp_items(scp):
    """Items of a Kaldi-style list: `utterance-id path` per line, paths relative to its folder."""
    folder = os.path.dirname(os.path.abspath(scp))
    items = []
    # lines end at newlines only (a carriage return before one is stripped, one elsewhere is a name's)
    with open(scp, encoding="utf-8", errors="surrogateescape", newline="\n") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\r\n")
            if not line.strip():
                continue
            fields = line.strip().split(None, 1)
            where = f"{scp}:{number}"
            if len(fields) < 2:
                items.append(Item(fields[0], where, "no path after the utterance id"))
            elif fields[1].rstrip().endswith("|"):
                items.append(Item(fields[0], where, PIPED))
            else:
                items.append(Item(fields[0], os.path.join(folder, fields[1].rstrip())))
    for item in items:
        parts = item.name.split("/")
        if item.problem is None and (item.name.startswith("/") or "." in parts or ".." in parts or "" in parts):
            item.problem = f"utterance id {item.name} does not name a path inside OUTDIR"
    return items


def list_items(listing):
    """Items of a list of paths, one per line, relative to its folder; names relative to the
    deepest folder common to all of them."""
    folder = os.path.dirname(os.path.abspath(listing))
    with open(listing, encoding="utf-8", errors="surrogateescape", newline="\n") as f:
        paths = [os.path.normpath(os.path.join(folder, line.rstrip("\r\n"))) for line in f if line.strip()]
    if not paths:
        return []
    common = os.path.commonpath([os.path.dirname(p) for p in paths])
    return [Item(stem(os.path.relpath(p, common)), p) for p in paths]


def mark_collisions(items, extensions):
    """Items whose outputs another item earlier in the order already has fail."""
    first = {}
    for item in items:
        if item.problem is not None:
            continue
        if item.name in first:
            item.problem = f"its outputs {item.name}.{extensions} are those of {first[item.name]}"
        else:
            first[item.name] = item.path
    return items


def encode_items(src, outdir=None):
    """The scan of an encode run over src (a directory, a .scp list or a list of paths), its
    items in order."""
    skip = os.path.realpath(outdir) if outdir is not None else None
    if os.path.isdir(src):
        scan = walk(src, SOUND_EXTENSIONS, skip)
    elif os.path.splitext(src)[1].lower() in SOUND_EXTENSIONS:
        raise Refusal(f"{src} is a sound file: SRC is a directory, a .scp list or a list of paths")
    elif src.endswith(".scp"):
        scan = Scan(scp_items(src))
    else:
        scan = Scan(list_items(src))
    scan.items = mark_collisions(byte_order(scan.items), "lf0/.cc/.fv")
    return scan


def decode_items(src, outdir=None):
    """The scan of a decode run: the log-F0 files of the encode tree src, in order (the tree's
    other files are its own and not named)."""
    skip = os.path.realpath(outdir) if outdir is not None else None
    scan = walk(src, (".lf0",), skip)
    scan.items, scan.other_files = byte_order(scan.items), []
    return scan


# ---- the work of one item (in a thread, a process or a cluster worker) ----

_local = threading.local()
_hook_lock = threading.Lock()


def _show(message, category, filename, lineno, file=None, line=None):
    sink = getattr(_local, "sink", None)
    if sink is None:
        return _show.original(message, category, filename, lineno, file, line)
    sink.append(str(message))


def _collect_warnings(sink):
    """Sends the module's warnings raised in this thread to sink (each of them, also repeated
    ones). Checked on every item: a caller's catch_warnings may have put its own hook back."""
    with _hook_lock:
        if warnings.showwarning is not _show:
            _show.original = warnings.showwarning
            warnings.showwarning = _show
        rule = ("always", None, UserWarning, re.compile(re.escape(__name__) + r"\Z"), 0)
        if not any(f[0] == "always" and f[3] is not None and f[3].pattern == rule[3].pattern
                   for f in warnings.filters):
            warnings.filterwarnings("always", category=UserWarning, module=rule[3].pattern)
    _local.sink = sink


def _write_atomically(pairs):
    """Writes each (final path, writer) to a temporary file beside it, then gives them their
    names; on failure no temporary stays and no final file changes."""
    temporaries = []
    try:
        for final, writer in pairs:
            os.makedirs(os.path.dirname(final) or ".", exist_ok=True)
            temporary = os.path.join(os.path.dirname(final),
                                     f".{os.path.basename(final)}.{os.getpid()}.{threading.get_ident()}.part")
            temporaries.append(temporary)
            writer(temporary)
        for (final, _), temporary in zip(pairs, temporaries):
            os.replace(temporary, final)
    finally:
        for temporary in temporaries:
            if os.path.lexists(temporary):
                os.unlink(temporary)


def _f0_statistics(lf0):
    voiced = lf0[lf0 > UNVOICED]
    if len(voiced) == 0:
        return [f"{0.0:.4f}", "-", "-", "-"]
    f0 = np.exp(voiced)
    p5, median, p95 = np.percentile(f0, [5, 50, 95])
    return [f"{len(voiced) / len(lf0):.4f}", f"{median:.1f}", f"{p5:.1f}", f"{p95:.1f}"]


def _warning_text(messages, path):
    texts = []
    for m in messages:
        m = m[len(path) + 2:] if m.startswith(path + ": ") else m
        texts.append(m.rstrip("."))
    return "; ".join(texts)


def _refuse_overwrite(path, outputs):
    for out in outputs:
        if os.path.exists(out) and os.path.samefile(out, path):
            raise ValueError(f"{out} would overwrite the input {path}")


def _reason(error):
    if isinstance(error, OSError) and error.strerror:
        return f"{error.strerror}: {error.filename}" if error.filename else error.strerror
    text = str(error) or type(error).__name__
    return text[len("path: "):] if text.startswith("path: ") else text


def _source_state(path):
    """What tells a changed input: its size and modification time."""
    status = os.stat(path)
    return {"size": status.st_size, "mtime_ns": status.st_mtime_ns}


def _check_unchanged(path, source):
    now = _source_state(path)
    if now != source:
        raise ValueError(f"{path} changed while it was read ({source['size']} bytes when the read began, "
                         f"{now['size']} after); the next run reads it again")


def _with_source(text, source):
    """The record text with the input's state at the read added as the key "source"."""
    return text.rstrip()[:-1].rstrip() + f',\n  "source": {json.dumps(source)}\n}}\n'


def _write_text(path, text):
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def _write_set(base, e, source):
    """Writes the streams of e as base.lf0, .cc and .fv and their settings record base.lf0.json
    (with the input's state at the read), all taking their names once all are complete."""
    names = [os.path.basename(base) + extension for extension in STREAMS]
    text = _with_source(velk._velk.format_param_record(e, *names), source)
    writers = [(base + extension, lambda t, a=a: velk.write_params(t, a)) for extension, a in zip(STREAMS, e)]
    _write_atomically(writers + [(base + ITEM_RECORD, lambda t: _write_text(t, text))])


def encode_item(task):
    """Encodes one file into base.lf0, base.cc, base.fv and their record base.lf0.json. Returns
    ("done", summary fields, seconds of audio) or ("failed", reason, 0)."""
    path, base, keywords, rate = task
    messages = []
    try:
        _refuse_overwrite(path, [base + extension for extension in (*STREAMS, ITEM_RECORD)])
        source = _source_state(path)
        _collect_warnings(messages)
        try:
            x, fs = velk.read_wav(path) if rate is None else velk.read_wav(path, fs=rate)
            _check_unchanged(path, source)
            clipped = int(np.count_nonzero(np.abs(x) >= 32767 / 32768))
            e = velk.encode(x, fs, **keywords)
        finally:
            _local.sink = None
        if clipped:
            messages.append(f"{clipped} samples at full scale (clipping)")
        _write_set(base, e, source)
        fields = [f"{len(x) / fs:.3f}", f"{e.fs:g}", str(len(e.lf0)), *_f0_statistics(e.lf0),
                  _warning_text(messages, path)]
        return "done", fields, len(x) / fs
    except Exception as error:  # every failure of one item is that item's, recorded by the run
        return "failed", _reason(error), 0.0


def _read_set(base, fallback):
    """The parameter set of an item, with the settings of its record; without one (a tree of an
    earlier velkcorpus) with those of the run's record when that gave them, else refused."""
    e = velk.read_params(base + ".lf0")
    if isinstance(e, velk.Encoded):
        return e
    if fallback is None:
        raise ValueError(f"{base}{ITEM_RECORD} is missing: the settings of {base}.lf0 are unknown; "
                         "encode the item again")
    cc = velk.read_params(base + ".cc", fallback["ccord"])
    fv = velk.read_params(base + ".fv") if os.path.exists(base + ".fv") else None
    return velk.Encoded(e, cc, fv, fallback["rate"], fallback["lframe"], alpha=fallback["alpha"],
                        morvscale=fallback["morvscale"])


def decode_item(task):
    """Decodes the parameter set base.lf0 into the WAV file out, with the settings of its record
    and the decoder options (fs resamples the synthesis to that rate). Returns as encode_item."""
    base, out, keywords, fallback = task
    messages = []
    try:
        e = _read_set(base, fallback)
        _collect_warnings(messages)
        try:
            y = velk.decode(e, **keywords)
        finally:
            _local.sink = None
        fs = keywords.get("fs", e.fs)
        whole = np.trunc(y * 32768)
        clipped = int(np.count_nonzero((whole > 32767) | (whole < -32768)))
        if clipped:
            messages.append(f"{clipped} samples clipped")
        _write_atomically([(out, _wav_writer(y, fs))])
        fields = [f"{len(y) / fs:.3f}", f"{fs:g}", str(len(e.lf0)), *_f0_statistics(e.lf0),
                  _warning_text(messages, out)]
        return "done", fields, len(y) / fs
    except Exception as error:  # as in encode_item
        return "failed", _reason(error), 0.0


def _wav_writer(y, fs):
    """Writes the 16-bit samples of y, saturated as velkdecoder saturates them (counted above)."""
    samples = velk.to_int16(y)
    return lambda temporary: velk.write_wav(temporary, samples, fs)


# ---- tables ----

SUMMARY_HEADER = ("name", "duration", "rate", "frames", "voiced", "f0_median", "f0_p5", "f0_p95", "warnings")
FAILURES_HEADER = ("path", "reason")


# A field's characters that a line or field splitter may take as a break, written as JSON
# escapes: "\t", "\n", "\r", "\\" and \uXXXX for the others that str.splitlines breaks at.
TSV_ESCAPES = {"\\": "\\\\", "\t": "\\t", "\n": "\\n", "\r": "\\r",
               **{c: f"\\u{ord(c):04x}" for c in "\x0b\x0c\x1c\x1d\x1e\x85\u2028\u2029"}}
TSV_ESCAPED = re.compile("[" + re.escape("".join(TSV_ESCAPES)) + "]")


def tsv_field(text):
    return TSV_ESCAPED.sub(lambda m: TSV_ESCAPES[m[0]], text)


def tsv_line(fields):
    return "\t".join(tsv_field(str(f)) for f in fields) + "\n"


def table_names(shard):
    if shard is None:
        return "summary.tsv", "failures.tsv"
    return f"summary.{shard[0]}.tsv", f"failures.{shard[0]}.tsv"


class Table:
    """A TSV file that rows are appended to, each flushed, with its header when new."""

    def __init__(self, path, header, fresh=False):
        self.path, self.header, self.file = path, header, None
        if fresh and os.path.exists(path):
            os.unlink(path)

    def add(self, fields):
        if self.file is None:
            new = not os.path.exists(self.path) or os.path.getsize(self.path) == 0
            self.file = open(self.path, "a", encoding="utf-8", errors="surrogateescape")
            if new:
                self.file.write(tsv_line(self.header))
        self.file.write(tsv_line(fields))
        self.file.flush()

    def close(self):
        if self.file is not None:
            self.file.close()


def read_table(path):
    """The rows of a table as lines, its header left out; split at newlines only."""
    with open(path, encoding="utf-8", errors="surrogateescape", newline="") as f:
        lines = f.read().split("\n")
    return [line for line in lines[1:] if line]


def write_table(path, header, lines):
    temporary = f"{path}.{os.getpid()}.part"
    with open(temporary, "w", encoding="utf-8", errors="surrogateescape") as f:
        f.write(tsv_line(header))
        for line in lines:
            f.write(line + "\n")
    os.replace(temporary, path)


def rows_by_key(paths):
    """{first field: row} of the rows of the tables, a later row replacing an earlier one."""
    rows = {}
    for path in paths:
        for line in read_table(path):
            rows[line.split("\t", 1)[0]] = line
    return rows


def write_sorted(path, header, rows):
    write_table(path, header, [rows[k] for k in sorted(rows, key=os.fsencode)])


def shard_tables(outdir, prefix):
    pattern = re.compile(re.escape(prefix) + r"\.[0-9]+\.tsv\Z")
    paths = [os.path.join(outdir, n) for n in os.listdir(outdir) if pattern.match(n)]
    return sorted(paths, key=lambda p: os.stat(p).st_mtime_ns)


def merge(outdir):
    """Joins the shards' summary.I.tsv into summary.tsv (a row per name, the newest file's row
    where several hold one) and their failures.I.tsv into failures.tsv, then removes the shard
    files, refusing while a run writes into outdir. Returns the numbers of summary and failure rows."""
    if not os.path.isdir(outdir):
        raise Refusal(f"{outdir} is not a directory")
    with hold(outdir, None):
        return _merge_tables(outdir)


def _merge_tables(outdir):
    summaries = shard_tables(outdir, "summary")
    whole = os.path.join(outdir, "summary.tsv")
    rows = rows_by_key(([whole] if os.path.exists(whole) else []) + summaries)
    write_sorted(whole, SUMMARY_HEADER, rows)
    failures = shard_tables(outdir, "failures")
    failed = rows_by_key(failures)
    if failures:
        write_sorted(os.path.join(outdir, "failures.tsv"), FAILURES_HEADER, failed)
    for path in summaries + failures:
        os.unlink(path)
    return len(rows), len(failed)


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

    def notes(self):
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

    def line(self):
        hours = self.audio / 3600
        text = (f"{self.items} items: {self.done} done, {self.skipped} skipped (done before), {self.failed} failed;"
                f" {hours:.2f} h of audio in {duration_text(self.elapsed)}")
        if self.failed:
            text += f"; failures in {self.failures}"
        return text


def names_text(names, shown=10):
    """Names in byte order, the first `shown` of them and how many more."""
    names = sorted(names, key=os.fsencode)
    text = ", ".join(names[:shown])
    return text + (f" and {len(names) - shown} more" if len(names) > shown else "")


def duration_text(seconds):
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
        return _source_state(path) == source if source is not None else _newer(outputs, [path], started)
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
        raise Refusal(f"{src}: {_reason(e)}") from None


def worker_version():
    """The velk version a worker runs (a worker that cannot import velk fails to run this)."""
    return velk.__version__


def check_workers(executor):
    """Refuses the run when the executor's workers cannot run velk or run another version, once,
    instead of failing every item."""
    try:
        version = executor.submit(worker_version).result()
    except Exception as error:  # whatever the executor reports of a worker that cannot run it
        raise Refusal(f"the executor's workers cannot run velk: {_reason(error)}") from None
    if version != velk.__version__:
        raise Refusal(f"the executor's workers run velk {version}, this host {velk.__version__}")


LOCK = "velkcorpus.lock"


def hold(outdir, shard):
    """Locks the part of outdir this run writes (a shard's byte of the lock file, or every byte for
    a run of all items) for as long as the returned file stays open; the lock goes with the process,
    also when it is killed. Refuses while another run holds it."""
    lock = open(os.path.join(outdir, LOCK), "a+b")
    start, length = (0, 0) if shard is None else (1 + shard[0], 1)
    try:
        fcntl.lockf(lock, fcntl.LOCK_EX | fcntl.LOCK_NB, length, start)
    except OSError as e:
        lock.close()
        if e.errno not in (errno.EACCES, errno.EAGAIN):
            raise
        part = "into it" if shard is None else f"shard {shard[0]} of it"
        raise Refusal(f"{outdir}: another velkcorpus run is writing {part}") from None
    return lock


class Halt:
    """Whether a run starts more items: not once the caller's stop event is set, nor once the
    progress output failed (its error kept, SIGPIPE for a reader that went away)."""

    def __init__(self, stop):
        self.stop, self.error = stop, None

    def is_set(self):
        return self.error is not None or (self.stop is not None and self.stop.is_set())

    def reason(self):
        """What ended the run early: the signal (SIGPIPE for a closed progress reader), True for a
        stop event without one, None when it ran to its end."""
        if isinstance(self.error, BrokenPipeError):
            return signal.SIGPIPE
        if self.stop is not None and self.stop.is_set():
            return getattr(self.stop, "signal", None) or True
        return None

    def report(self, progress, method, *args):
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
                status, value, seconds = "failed", _reason(error), 0.0
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


def run(command, src, outdir, options=None, *, executor=None, jobs=None, shard=None, force=False, progress=None,
        stop=None, window=None):
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
        raise Refusal(f"{outdir}: {_reason(e)}") from None
    with lock:
        try:
            started = claim(outdir, record, force)
        except OSError as e:
            raise Refusal(f"{outdir}: {_reason(e)}") from None
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


def encode(src, outdir, options=None, **run_options):
    """Encodes every sound file of src (a directory, a .scp list or a list of paths) into outdir;
    see run() for the rest."""
    return run("encode", src, outdir, options, **run_options)


def decode(src, outdir, options=None, **run_options):
    """Decodes every item of the encode tree src into outdir/NAME.wav; see run()."""
    return run("decode", src, outdir, options, **run_options)


# ---- progress ----


class LineProgress:
    """A flushed line every `every` items, for logs and pipes."""

    def __init__(self, out=None, every=100):
        self.out, self.every = out or sys.stdout, every

    def start(self, total, failed):
        self.total, self.count, self.failed, self.audio, self.began = total, 0, failed, 0.0, time.monotonic()

    def advance(self, seconds, failed):
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

    def close(self):
        pass


class BarProgress:
    """A progress bar on the terminal (tqdm): items, hours of audio, rate, time left, failures."""

    def __init__(self):
        from tqdm import tqdm
        self.tqdm = tqdm

    def start(self, total, failed):
        self.failed, self.audio = failed, 0.0
        self.bar = self.tqdm(total=total, unit="item", dynamic_ncols=True, smoothing=0.05)
        self.bar.set_postfix_str(self.postfix(), refresh=False)

    def postfix(self):
        return f"{self.audio / 3600:.2f} h audio, {self.failed} failed"

    def advance(self, seconds, failed):
        self.failed += failed
        self.audio += seconds
        self.bar.set_postfix_str(self.postfix(), refresh=False)
        self.bar.update(1)

    def close(self):
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

RUN_FLAGS = ("--force", "--quiet")
RUN_VALUES = ("--jobs", "--shard", "--scheduler", "--every")


def positive(text, what):
    if not INTEGER.match(text) or int(text) < 1:
        raise Refusal(f"{what} {text}: not a positive integer")
    return int(text)


def parse_command_line(argv):
    """(command, positional arguments, codec words, run settings) of a command line."""
    command, rest = argv[0], argv[1:]
    positional, codec, settings = [], [], {}
    k = 0
    while k < len(rest):
        word = rest[k]
        name, equals, value = word.partition("=")
        if word in RUN_FLAGS:
            settings[word[2:]] = True
        elif name in RUN_VALUES:
            if not equals:
                if k + 1 == len(rest):
                    raise Refusal(f"{word}: needs a value")
                k += 1
                value = rest[k]
            settings[name[2:]] = value
        elif word.startswith("--"):
            codec.append(word)
        elif word.startswith("-") and len(word) > 1:
            raise Refusal(f"{word}: unknown option")
        else:
            positional.append(word)
        k += 1
    wanted = 1 if command == "merge" else 2
    if command not in ("encode", "decode", "merge"):
        raise Refusal(f"{command}: not a command (encode, decode or merge)")
    if len(positional) != wanted:
        raise Refusal(f"{command} takes {'OUTDIR' if wanted == 1 else 'SRC OUTDIR'}")
    if command == "merge" and (codec or settings):
        raise Refusal("merge takes no options")
    run_settings = {"force": settings.get("force", False), "quiet": settings.get("quiet", False),
                    "scheduler": settings.get("scheduler"), "jobs": None, "shard": None, "every": 100}
    if "jobs" in settings:
        run_settings["jobs"] = positive(settings["jobs"], "--jobs")
    if "every" in settings:
        run_settings["every"] = positive(settings["every"], "--every")
    if "shard" in settings:
        match = re.match(r"([0-9]+)/([0-9]+)\Z", settings["shard"])
        if not match or not int(match[1]) < int(match[2]):
            raise Refusal(f"--shard {settings['shard']}: not I/N with 0 <= I < N")
        run_settings["shard"] = (int(match[1]), int(match[2]))
    kinds = ENCODER_OPTIONS if command == "encode" else DECODER_OPTIONS
    return command, positional, parse_options(codec, kinds), run_settings


class SignalStop(threading.Event):
    """Set by the first SIGINT or SIGTERM (no new items start); a second one ends the process."""

    def __init__(self):
        super().__init__()
        self.signal = None
        for s in (signal.SIGINT, signal.SIGTERM):
            signal.signal(s, self.caught)

    def caught(self, number, frame):
        if self.signal is not None:
            signal.signal(number, signal.SIG_DFL)
            os.kill(os.getpid(), number)
        self.signal = number
        self.set()


def cluster_executor(address):
    """The executor and the number of threads of the Dask cluster at address."""
    try:
        import distributed
    except ImportError:
        raise Refusal("--scheduler needs Dask's distributed (Debian's python3-distributed)") from None
    client = distributed.Client(address)
    return client, client.get_executor(), max(1, sum(client.nthreads().values()))


def main(argv=None):
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
        print(f"Error: {_reason(e)}", file=sys.stderr, flush=True)
        return 255
    finally:
        if client is not None:
            client.close()
    ended_by = None if report.interrupted is None or report.interrupted is True else report.interrupted
    if report.progress_error is not None and ended_by is None:
        print(f"Error: progress output: {_reason(report.progress_error)}", file=sys.stderr, flush=True)
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


if __name__ == "__main__":
    # Run as python3 -m velk.corpus: the functions are taken from the module velk.corpus (not
    # from __main__) so that process pools and cluster workers find them by that name.
    from velk.corpus import main as corpus_main

    sys.exit(corpus_main())
