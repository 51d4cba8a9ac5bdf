"""The work of one velkcorpus item, in a thread, a process or a cluster worker: an encoded parameter
set with its settings record, or a decoded WAV file, each written whole, and the item's row."""
import contextlib
import json
import os
import re
import threading
import warnings
from typing import Any, Iterator, Optional, Tuple

import numpy as np

import velk
from velk import outputs

__all__ = ["STREAMS", "ITEM_RECORD", "UNVOICED", "reason_of", "source_state", "encode_item", "decode_item"]

# An item's outputs: the three streams and the settings record beside them.
STREAMS = (".lf0", ".cc", ".fv")
ITEM_RECORD = ".lf0.json"
UNVOICED = -1e10


_local = threading.local()
_hook_lock = threading.Lock()
_route = {"items": 0, "scope": None}  # the items running in this process, the warnings state saved


def _show(message, category, filename, lineno, file=None, line=None):
    sink = getattr(_local, "sink", None)
    if sink is None:
        return _show.original(message, category, filename, lineno, file, line)
    sink.append(str(message))


@contextlib.contextmanager
def _warnings_to(sink: list) -> Iterator[None]:
    """Sends the module's warnings raised in this thread inside the block to sink (each of them,
    also repeated ones). The process's warning hook and filters change only while some item
    runs: the first item to start saves them (warnings.catch_warnings) and puts the hook in
    place, the last to end puts back what was there."""
    with _hook_lock:
        if _route["items"] == 0:
            scope = warnings.catch_warnings()
            scope.__enter__()
            _route["scope"] = scope
            _show.original = warnings.showwarning
            warnings.showwarning = _show
            warnings.filterwarnings("always", category=UserWarning, module=re.escape(__name__) + r"\Z")
        _route["items"] += 1
    _local.sink = sink
    try:
        yield
    finally:
        _local.sink = None
        with _hook_lock:
            _route["items"] -= 1
            if _route["items"] == 0:
                _route["scope"].__exit__(None, None, None)
                _route["scope"] = None


def _write_atomically(pairs):
    """Writes each (final path, writer) to a temporary file beside the file it replaces (through
    links), then gives them their names once every one may be replaced; on failure no temporary
    stays and no final file changes."""
    temporaries = []
    try:
        for final, writer in pairs:
            os.makedirs(os.path.dirname(outputs.target(final)) or ".", exist_ok=True)
            temporaries.append(outputs.temporary_beside(final))
            writer(temporaries[-1])
        outputs.replace_all(zip(temporaries, [final for final, _ in pairs]))
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


def reason_of(error: BaseException) -> str:
    """The message of a failure: an OSError's reason and file, else the exception's own text."""
    if isinstance(error, OSError) and error.strerror:
        return f"{error.strerror}: {error.filename}" if error.filename else error.strerror
    text = str(error) or type(error).__name__
    return text[len("path: "):] if text.startswith("path: ") else text


def source_state(path: str) -> dict:
    """What tells a changed input: its size and modification time."""
    status = os.stat(path)
    return {"size": status.st_size, "mtime_ns": status.st_mtime_ns}


def _check_unchanged(path, source):
    now = source_state(path)
    if now != source:
        raise ValueError(f"{path} changed while it was read ({source['size']} bytes when the read began, "
                         f"{now['size']} after); the next run reads it again")


def _with_source(text, source):
    """The record text with the input's state at the read added as the key "source"."""
    return text.rstrip()[:-1].rstrip() + f',\n  "source": {json.dumps(source)}\n}}\n'


def _write_text(path, text):
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def _write_set(base, e, source, cc_written=None):
    """Writes the streams of e as base.lf0, .cc and .fv and their settings record base.lf0.json
    (with the input's state at the read), all taking their names once all are complete. The
    cepstra may be written already, to the temporary cc_written beside base.cc."""
    names = [os.path.basename(base) + extension for extension in STREAMS]
    text = _with_source(velk._velk.format_param_record(e, *names), source)
    writers = [(base + extension, lambda t, a=a: velk.write_params(t, a)) for extension, a in zip(STREAMS, e)]
    if cc_written is not None:
        writers[1] = (base + STREAMS[1], lambda t: os.replace(cc_written, t))
    _write_atomically(writers + [(base + ITEM_RECORD, lambda t: _write_text(t, text))])


def _encode_file(path: str, base: str, keywords: dict, rate: Optional[float]) -> tuple:
    """The analysis of the file: (encode result, samples, samples at full scale, the temporary
    holding the cepstra or None). A sound file at its own rate is read in blocks and analysed in
    pieces, its cepstra written as they come, so that memory does not grow with its length; a file
    resampled on the way, shorter than its header says or with samples beyond full scale is read
    whole. Both give the same streams and warnings."""
    cc_part = outputs.temporary_beside(base + STREAMS[1])
    os.makedirs(os.path.dirname(cc_part) or ".", exist_ok=True)
    try:
        streamed = velk._velk.encode_file(path, cc_part, rate, **keywords)
    except BaseException:
        if os.path.lexists(cc_part):
            os.unlink(cc_part)
        raise
    if streamed is not None:
        return (*streamed, cc_part)
    x, fs = velk.read_wav(path) if rate is None else velk.read_wav(path, fs=rate)
    clipped = int(np.count_nonzero(np.abs(x) >= 32767 / 32768))
    return velk.encode(x, fs, **keywords), len(x), clipped, None


def encode_item(task: tuple) -> Tuple[str, Any, float]:
    """Encodes one file into base.lf0, base.cc, base.fv and their record base.lf0.json. Returns
    ("done", summary fields, seconds of audio) or ("failed", reason, 0)."""
    path, base, keywords, rate = task
    messages = []
    cc_part = None
    try:
        _refuse_overwrite(path, [base + extension for extension in (*STREAMS, ITEM_RECORD)])
        source = source_state(path)
        with _warnings_to(messages):
            e, samples, clipped, cc_part = _encode_file(path, base, keywords, rate)
            _check_unchanged(path, source)
        if clipped:
            messages.append(f"{clipped} samples at full scale (clipping)")
        _write_set(base, e, source, cc_part)
        seconds = samples / e.fs
        fields = [f"{seconds:.3f}", f"{e.fs:g}", str(len(e.lf0)), *_f0_statistics(e.lf0),
                  _warning_text(messages, path)]
        return "done", fields, seconds
    except Exception as error:  # every failure of one item is that item's, recorded by the run
        return "failed", reason_of(error), 0.0
    finally:
        if cc_part is not None and os.path.lexists(cc_part):
            os.unlink(cc_part)


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


def decode_item(task: tuple) -> Tuple[str, Any, float]:
    """Decodes the parameter set base.lf0 into the WAV file out, with the settings of its record
    and the decoder options (fs resamples the synthesis to that rate). Returns as encode_item."""
    base, out, keywords, fallback = task
    messages = []
    part = outputs.temporary_beside(out)
    try:
        os.makedirs(os.path.dirname(part) or ".", exist_ok=True)
        with _warnings_to(messages):
            streamed = velk._velk.decode_set_file(base + ".lf0", part, **keywords)
        if streamed is not None:
            # A recorded set in files, synthesised block by block into the temporary as it comes.
            frames, samples, clipped, fs = streamed
            lf0 = np.fromfile(base + ".lf0", dtype="<f4").astype(np.float64)
            writer = lambda temporary: os.replace(part, temporary)
        else:
            e = _read_set(base, fallback)
            with _warnings_to(messages):
                y = velk.decode(e, **keywords)
            fs, frames, samples, lf0 = keywords.get("fs", e.fs), len(e.lf0), len(y), e.lf0
            whole = np.trunc(y * 32768)
            clipped = int(np.count_nonzero((whole > 32767) | (whole < -32768)))
            writer = _wav_writer(y, fs)
        if clipped:
            messages.append(f"{clipped} samples clipped")
        _write_atomically([(out, writer)])
        fields = [f"{samples / fs:.3f}", f"{fs:g}", str(frames), *_f0_statistics(lf0),
                  _warning_text(messages, out)]
        return "done", fields, samples / fs
    except Exception as error:  # as in encode_item
        return "failed", reason_of(error), 0.0
    finally:
        if os.path.lexists(part):
            os.unlink(part)


def _wav_writer(y, fs):
    """Writes the 16-bit samples of y, saturated as velkdecoder saturates them (counted above)."""
    samples = velk.to_int16(y)
    return lambda temporary: velk.write_wav(temporary, samples, fs)
