"""The items of a velkcorpus run: the sound files of a folder (every format the reader reads, links
to folders followed), the entries of a Kaldi-style .scp list or of a list of paths, and the
parameter sets of an encoded tree, each named by the relative path of its outputs."""
import os
from dataclasses import dataclass, field
from typing import Iterable, List, Optional, Sequence

__all__ = ["Refusal", "SOUND_EXTENSIONS", "Item", "Scan", "byte_order", "stem", "walk", "scp_items", "list_items",
           "mark_collisions", "encode_items", "decode_items"]


class Refusal(Exception):
    """The run cannot start; the message says why."""


# The extensions of the formats the sound reader reads (libsndfile's, with their usual aliases),
# compared in lower case. Headerless raw files are not among them: they do not say their format.
SOUND_EXTENSIONS = (".aif", ".aifc", ".aiff", ".au", ".avr", ".caf", ".flac", ".htk", ".iff", ".m1a", ".m2a",
                    ".mat", ".mp1", ".mp2", ".mp3", ".mpc", ".mpga", ".nist", ".oga", ".ogg", ".opus", ".paf",
                    ".pvf", ".rf64", ".sd2", ".sds", ".sf", ".snd", ".sph", ".svx", ".voc", ".w64", ".wav",
                    ".wave", ".wve", ".xi")


# ---- items ----


@dataclass
class Item:
    """One unit of work: its name (the relative path of its outputs, without extension), its
    input path, and the reason it cannot run (a bad list line, a name another item took)."""
    name: str
    path: str
    problem: str = None


def byte_order(items: Iterable["Item"]) -> List["Item"]:
    """The items in the byte order of their names, then of their paths."""
    return sorted(items, key=lambda item: (os.fsencode(item.name), os.fsencode(item.path)))


def stem(relative: str) -> str:
    """The name of an item: its path relative to SRC without the extension."""
    root, extension = os.path.splitext(relative)
    return root if extension and not root.endswith("/") else relative


@dataclass
class Scan:
    """The items of a directory and what it left out: files of other extensions and links to
    folders above them (relative paths)."""
    items: list = field(default_factory=list)
    other_files: list = field(default_factory=list)
    loops: list = field(default_factory=list)


def walk(src: str, wanted: Sequence[str], skip: Optional[str] = None) -> "Scan":
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


def scp_items(scp: str) -> List["Item"]:
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


def list_items(listing: str) -> List["Item"]:
    """Items of a list of paths, one per line, relative to its folder; names relative to the
    deepest folder common to all of them."""
    folder = os.path.dirname(os.path.abspath(listing))
    with open(listing, encoding="utf-8", errors="surrogateescape", newline="\n") as f:
        paths = [os.path.normpath(os.path.join(folder, line.rstrip("\r\n"))) for line in f if line.strip()]
    if not paths:
        return []
    common = os.path.commonpath([os.path.dirname(p) for p in paths])
    return [Item(stem(os.path.relpath(p, common)), p) for p in paths]


def mark_collisions(items: List["Item"], extensions: Sequence[str]) -> List["Item"]:
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


def encode_items(src: str, outdir: Optional[str] = None) -> "Scan":
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


def decode_items(src: str, outdir: Optional[str] = None) -> "Scan":
    """The scan of a decode run: the log-F0 files of the encode tree src, in order (the tree's
    other files are its own and not named)."""
    skip = os.path.realpath(outdir) if outdir is not None else None
    scan = walk(src, (".lf0",), skip)
    scan.items, scan.other_files = byte_order(scan.items), []
    return scan
