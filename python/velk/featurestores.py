"""The outputs of a feature corpus: the stores of the features (one .npy per item and feature,
or an HDF5 file per shard) and the JSON and JSON-lines files of its manifest and statistics.
A store takes an item's arrays whole (write) or block by block (item: the frame count first,
then the frames in order), with the same files or datasets either way."""
import json
import os
from typing import Any, Dict, Iterable, List, Optional, Tuple

import numpy as np

from velk import corpus, outputs

__all__ = ["shard_suffix", "write_npy", "NpyStore", "Hdf5Store", "read_jsonl", "write_jsonl", "write_json",
           "by_name"]

def shard_suffix(shard: Optional[Tuple[int, int]]) -> str:
    """".I" of shard I in the names of its files, "" for a whole run."""
    return "" if shard is None else f".{shard[0]}"


def write_npy(path: str, array: np.ndarray) -> None:
    """Writes the array as a whole .npy file (a temporary renamed)."""
    outputs.write_whole(path, lambda f: np.save(f, array), "wb")


def shape_of(frames: int, width: Optional[int]) -> tuple:
    """The shape of a feature's array: (frames,), or (frames, width) for one of width values a frame."""
    return (frames,) if width is None else (frames, width)


class NpyBlocks:
    """An item's .npy files written block by block, each to a temporary beside it: the header
    with the frame count first, then the rows as they come (the bytes np.save writes for the
    whole float32 array); the files take their names once all are complete."""

    def __init__(self, paths: Dict[str, str]) -> None:
        self.paths, self.files, self.temporaries = paths, {}, {}

    def begin(self, widths: Dict[str, Optional[int]], frames: int) -> None:
        """Opens the files and writes their headers: widths holds None or the values a frame of
        each feature."""
        for feature, path in self.paths.items():
            os.makedirs(os.path.dirname(outputs.target(path)) or ".", exist_ok=True)
            self.temporaries[feature] = outputs.temporary_beside(path)
            self.files[feature] = f = open(self.temporaries[feature], "wb")
            header = {"descr": np.lib.format.dtype_to_descr(np.dtype(np.float32)), "fortran_order": False,
                      "shape": shape_of(frames, widths[feature])}
            np.lib.format.write_array_header_1_0(f, header)

    def write(self, arrays: Dict[str, np.ndarray]) -> None:
        """Appends the next frames of each feature (float32 arrays)."""
        for feature, array in arrays.items():
            self.files[feature].write(np.ascontiguousarray(array, dtype=np.float32).tobytes())

    def commit(self) -> None:
        """Closes the files and gives them their names."""
        for f in self.files.values():
            f.close()
        outputs.replace_all((self.temporaries[feature], path) for feature, path in self.paths.items())

    def abandon(self) -> None:
        """Closes and removes what was written."""
        for feature, f in self.files.items():
            f.close()
            if os.path.lexists(self.temporaries[feature]):
                os.unlink(self.temporaries[feature])


class NpyStore:
    """One .npy per item and feature, OUTDIR/FEATURE/NAME.npy."""

    def __init__(self, outdir: str, shard: Optional[Tuple[int, int]]) -> None:
        self.outdir = outdir

    def files(self, name: str, features: Iterable[str]) -> Dict[str, str]:
        """{feature: file of the item} of the features, relative to OUTDIR."""
        return {f: f"{f}/{name}.npy" for f in features}

    def has(self, name: str, features: Iterable[str]) -> bool:
        """Whether the item's files of every one of the features are there."""
        return all(os.path.exists(os.path.join(self.outdir, p)) for p in self.files(name, features).values())

    def write(self, name: str, arrays: Dict[str, np.ndarray]) -> Dict[str, Dict[str, str]]:
        """Writes the arrays of the item; {"files": its files as files() names them}."""
        for feature, relative in self.files(name, arrays).items():
            write_npy(os.path.join(self.outdir, relative), arrays[feature])
        return {"files": self.files(name, arrays)}

    def item(self, name: str, features: Iterable[str]) -> NpyBlocks:
        """The item's files, to be written block by block; its manifest fields are
        {"files": files(name, features)}."""
        return NpyBlocks({f: os.path.join(self.outdir, p) for f, p in self.files(name, features).items()})

    def fields(self, name: str, features: Iterable[str]) -> Dict[str, Any]:
        """The manifest fields of an item written block by block."""
        return {"files": self.files(name, features)}

    def read(self, entry: dict, feature: str) -> Optional[np.ndarray]:
        """The array of the feature of a manifest entry, None when the item has none."""
        relative = entry["files"].get(feature)
        return None if relative is None else np.load(os.path.join(self.outdir, relative))

    def close(self) -> None:
        """Nothing to close: each file is written whole."""
        pass


class Hdf5Store:
    """One HDF5 file per shard, a group per item holding a dataset per feature."""

    def __init__(self, outdir: str, shard: Optional[Tuple[int, int]]) -> None:
        try:
            import h5py
        except ImportError:
            raise corpus.Refusal("--format=hdf5 needs h5py (Debian's python3-h5py)") from None
        self.name = f"features{shard_suffix(shard)}.h5"
        self.path = os.path.join(outdir, self.name)
        self.file = h5py.File(self.path, "a")

    def has(self, name: str, features: Iterable[str]) -> bool:
        """Whether the item's group holds every one of the features."""
        return name in self.file and all(f in self.file[name] for f in features)

    def write(self, name: str, arrays: Dict[str, np.ndarray]) -> Dict[str, str]:
        """Writes the arrays into the item's group, a new one; the file and the group in the manifest."""
        if name in self.file:  # left by a run that stopped before its manifest line
            del self.file[name]
        group = self.file.create_group(name)
        for feature, array in arrays.items():
            group.create_dataset(feature, data=array)
        self.file.flush()
        return {"file": self.name, "group": name}

    def item(self, name: str, features: Iterable[str]) -> "Hdf5Blocks":
        """The item's group, to be written block by block."""
        return Hdf5Blocks(self, name, list(features))

    def fields(self, name: str, features: Iterable[str]) -> Dict[str, Any]:
        """The manifest fields of an item written block by block."""
        return {"file": self.name, "group": name}

    def read(self, entry: dict, feature: str) -> Optional[np.ndarray]:
        """The array of the feature of a manifest entry, None when the item has none."""
        group = self.file[entry["group"]]
        return group[feature][()] if feature in group else None

    def close(self) -> None:
        """Closes the HDF5 file."""
        self.file.close()


def read_jsonl(path: str) -> List[dict]:
    """The entries of a JSON-lines file, none when it is missing."""
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


def write_jsonl(path: str, entries: Iterable[dict]) -> None:
    """Writes the entries as a whole JSON-lines file, one per line."""
    def write(f):
        for entry in entries:
            f.write(json.dumps(entry, ensure_ascii=False) + "\n")

    outputs.write_whole(path, write, "w", encoding="utf-8")


def write_json(path: str, document: Any) -> None:
    """Writes the document as a whole JSON file."""
    def write(f):
        json.dump(document, f, indent=1, ensure_ascii=False)
        f.write("\n")

    outputs.write_whole(path, write, "w", encoding="utf-8")


def by_name(entries: Iterable[dict]) -> List[dict]:
    """The entries with one per name, the last given, in the byte order of the names."""
    latest = {e["name"]: e for e in entries}
    return [latest[n] for n in sorted(latest, key=os.fsencode)]


class Hdf5Blocks:
    """An item's group written block by block: its datasets made with the frame count first, then
    filled slice by slice; the group is removed when the item does not complete."""

    def __init__(self, store: Hdf5Store, name: str, features: List[str]) -> None:
        self.store, self.name, self.features, self.group, self.at = store, name, features, None, 0

    def begin(self, widths: Dict[str, Optional[int]], frames: int) -> None:
        """Makes the item's group (a new one) and its float32 datasets."""
        file = self.store.file
        if self.name in file:  # left by a run that stopped before its manifest line
            del file[self.name]
        self.group = file.create_group(self.name)
        for feature in self.features:
            self.group.create_dataset(feature, shape=shape_of(frames, widths[feature]), dtype=np.float32)

    def write(self, arrays: Dict[str, np.ndarray]) -> None:
        """Writes the next frames of each feature."""
        count = len(next(iter(arrays.values())))
        for feature, array in arrays.items():
            self.group[feature][self.at:self.at + count] = array
        self.at += count

    def commit(self) -> None:
        """Flushes the file."""
        self.store.file.flush()

    def abandon(self) -> None:
        """Removes the item's group."""
        if self.group is not None and self.name in self.store.file:
            del self.store.file[self.name]
