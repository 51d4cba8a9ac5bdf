"""The tables of a velkcorpus run (summary.tsv and failures.tsv, a shard's own, their merge) and the
lock by which one run at a time writes a shard, or the whole, of an OUTDIR."""
import errno
import fcntl
import os
import re
from typing import Any, BinaryIO, Iterable, List, Optional, Sequence, Tuple

from velk import outputs
from velk.corpusitems import Refusal

__all__ = ["SUMMARY_HEADER", "FAILURES_HEADER", "LOCK", "tsv_field", "tsv_line", "table_names", "Table", "read_table",
           "write_table", "rows_by_key", "write_sorted", "shard_tables", "merge", "hold"]

SUMMARY_HEADER = ("name", "duration", "rate", "frames", "voiced", "f0_median", "f0_p5", "f0_p95", "warnings")
FAILURES_HEADER = ("path", "reason")


# A field's characters that a line or field splitter may take as a break, written as JSON
# escapes: "\t", "\n", "\r", "\\" and \uXXXX for the others that str.splitlines breaks at.
TSV_ESCAPES = {"\\": "\\\\", "\t": "\\t", "\n": "\\n", "\r": "\\r",
               **{c: f"\\u{ord(c):04x}" for c in "\x0b\x0c\x1c\x1d\x1e\x85\u2028\u2029"}}
TSV_ESCAPED = re.compile("[" + re.escape("".join(TSV_ESCAPES)) + "]")


def tsv_field(text: str) -> str:
    """The text as a TSV field: backslash, tab and line ends escaped."""
    return TSV_ESCAPED.sub(lambda m: TSV_ESCAPES[m[0]], text)


def tsv_line(fields: Iterable[Any]) -> str:
    """A TSV line of the fields, each as its text."""
    return "\t".join(tsv_field(str(f)) for f in fields) + "\n"


def table_names(shard: Optional[Tuple[int, int]]) -> Tuple[str, str]:
    """The names of the summary and failures tables of a run, or of shard I."""
    if shard is None:
        return "summary.tsv", "failures.tsv"
    return f"summary.{shard[0]}.tsv", f"failures.{shard[0]}.tsv"


class Table:
    """A TSV file that rows are appended to, each flushed, with its header when new."""

    def __init__(self, path: str, header: Sequence[str], fresh: bool = False) -> None:
        self.path, self.header, self.file = path, header, None
        if fresh and os.path.exists(path):
            os.unlink(path)

    def add(self, fields: Iterable[Any]) -> None:
        """Appends a row, flushed (the header first into a new table)."""
        if self.file is None:
            new = not os.path.exists(self.path) or os.path.getsize(self.path) == 0
            self.file = open(self.path, "a", encoding="utf-8", errors="surrogateescape")
            if new:
                self.file.write(tsv_line(self.header))
        self.file.write(tsv_line(fields))
        self.file.flush()

    def close(self) -> None:
        """Closes the table's file."""
        if self.file is not None:
            self.file.close()


def read_table(path: str) -> List[str]:
    """The rows of a table as lines, its header left out; split at newlines only."""
    with open(path, encoding="utf-8", errors="surrogateescape", newline="") as f:
        lines = f.read().split("\n")
    return [line for line in lines[1:] if line]


def write_table(path: str, header: Sequence[str], lines: Iterable[str]) -> None:
    """Writes a whole table of the header and the TSV lines."""
    def write(f):
        f.write(tsv_line(header))
        for line in lines:
            f.write(line + "\n")

    outputs.write_whole(path, write, "w", encoding="utf-8", errors="surrogateescape")


def rows_by_key(paths: Iterable[str]) -> dict:
    """{first field: row} of the rows of the tables, a later row replacing an earlier one."""
    rows = {}
    for path in paths:
        for line in read_table(path):
            rows[line.split("\t", 1)[0]] = line
    return rows


def write_sorted(path: str, header: Sequence[str], rows: dict) -> None:
    """Writes a whole table of the rows in the byte order of their keys."""
    write_table(path, header, [rows[k] for k in sorted(rows, key=os.fsencode)])


def shard_tables(outdir: str, prefix: str) -> List[str]:
    """The shards' tables PREFIX.I.tsv in outdir, oldest first."""
    pattern = re.compile(re.escape(prefix) + r"\.[0-9]+\.tsv\Z")
    paths = [os.path.join(outdir, n) for n in os.listdir(outdir) if pattern.match(n)]
    return sorted(paths, key=lambda p: os.stat(p).st_mtime_ns)


def merge(outdir: str) -> Tuple[int, int]:
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


LOCK = "velkcorpus.lock"


def hold(outdir: str, shard: Optional[Tuple[int, int]]) -> BinaryIO:
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
