"""The settings of a velkcorpus run: its options, parsed by the programs' rules, and the run's
settings record OUTDIR/velkcorpus.json, which keeps a tree from mixing outputs of other settings."""
import json
import os
import re
import threading
import time
import warnings
from typing import Any, Callable, Dict, Iterable, Union

import numpy as np

import velk
from velk import outputs
from velk.corpusitems import Refusal
from velk.corpustables import shard_tables

__all__ = ["RECORD", "ENCODER_OPTIONS", "DECODER_OPTIONS", "CODEC_SETTINGS", "EACH_FILE", "INTEGER", "REAL",
           "parse_options", "encoder_keywords", "check_with_module", "encode_record", "read_record", "decode_record",
           "differences", "claim"]

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


# ---- options ----

INTEGER = re.compile(r"[+-]?[0-9]+\Z")
REAL = re.compile(r"[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?\Z|[+-]?(inf|infinity|nan)\Z", re.I)


def parse_options(words: Iterable[str], kinds: Dict[str, type]) -> Dict[str, Union[int, float]]:
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


def encoder_keywords(options: dict) -> dict:
    """The encode() keywords of the encoder options: all but fs, a negative f0acc counting as 5
    as velkcoder counts it."""
    keywords = {k: v for k, v in options.items() if k != "fs"}
    if keywords.get("f0acc", 0) < 0:
        keywords["f0acc"] = 5
    return keywords


def check_with_module(function: Callable, *args: Any, **keywords: Any) -> None:
    """Runs the module on a small signal with the options, so that options it refuses refuse the
    run once instead of failing every item."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        try:
            return function(*args, **keywords)
        except (TypeError, ValueError) as e:
            raise Refusal(str(e).splitlines()[0]) from None


def encode_record(options: dict) -> dict:
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


def read_record(directory: str) -> dict:
    """The run's settings record in directory; ValueError when it is no JSON object."""
    with open(os.path.join(directory, RECORD), encoding="utf-8") as f:
        record = json.load(f)
    if not isinstance(record, dict):
        raise ValueError(f"a JSON {type(record).__name__ if record is not None else 'null'}, not a settings record")
    return record


def decode_record(src: str, options: dict) -> dict:
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


def differences(old: dict, new: dict) -> str:
    """The settings two records differ in, each option and setting by its name."""
    def flat(record):
        options = record.get("options") if isinstance(record.get("options"), dict) else {}
        return {**options, **{k: v for k, v in record.items() if k != "options"}}

    old, new = flat(old), flat(new)
    return ", ".join(f"{k}: {json.dumps(old.get(k))} in the record, {json.dumps(new.get(k))} now"
                     for k in sorted(set(old) | set(new)) if old.get(k) != new.get(k))


def claim(outdir: str, record: dict, force: bool) -> int:
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
        outputs.replace_all([(temporary, path)])
        for table in [os.path.join(outdir, "summary.tsv")] + shard_tables(outdir, "summary"):
            if os.path.exists(table):
                os.unlink(table)
        return os.stat(path).st_mtime_ns
    finally:
        if os.path.exists(temporary):
            os.unlink(temporary)
