"""The outputs of a feature corpus: the stores of the features (one .npy per item and feature,
or an HDF5 file per shard) and the JSON and JSON-lines files of its manifest and statistics."""
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
