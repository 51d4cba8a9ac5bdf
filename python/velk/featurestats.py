"""The statistics of a feature corpus: log-F0 over voiced frames and energy, for the corpus and
for each speaker, in accumulators that shards merge exactly (velkcorpus features)."""
import math
from typing import Any, Dict, Iterable, Optional

import numpy as np

__all__ = ["BIN_WIDTHS", "SUMMARY_KEYS", "Accumulator", "Statistics", "voiced_frames", "item_values",
           "statistics_of"]

# Histogram bin widths of the statistics: natural log of F0 (about 1.7 cents) and dB; the
# percentiles are the centres of their bins.
BIN_WIDTHS = {"lf0": 0.001, "energy": 0.01}
SUMMARY_KEYS = ("count", "mean", "std", "min", "max", "p5", "p95")


class Accumulator:
    """Exactly mergeable statistics of a set of values: count, sum, sum of squares, extremes and
    a histogram of bins `width` wide (bin k holds the values in [k * width, (k + 1) * width))."""

    def __init__(self, width: float) -> None:
        self.width = width
        self.count, self.total, self.squares = 0, 0.0, 0.0
        self.lowest, self.highest = math.inf, -math.inf
        self.bins = {}

    def add(self, values: Any) -> None:
        """Adds the values (an array or a sequence of numbers)."""
        values = np.asarray(values, np.float64)
        if values.size == 0:
            return
        self.count += int(values.size)
        self.total += float(values.sum())
        self.squares += float(np.square(values).sum())
        self.lowest = min(self.lowest, float(values.min()))
        self.highest = max(self.highest, float(values.max()))
        keys, counts = np.unique(np.floor(values / self.width).astype(np.int64), return_counts=True)
        for k, c in zip(keys.tolist(), counts.tolist()):
            self.bins[k] = self.bins.get(k, 0) + c

    def merge(self, other: "Accumulator") -> None:
        """Adds the values another accumulator of the same width holds."""
        self.count += other.count
        self.total += other.total
        self.squares += other.squares
        self.lowest, self.highest = min(self.lowest, other.lowest), max(self.highest, other.highest)
        for k, c in other.bins.items():
            self.bins[k] = self.bins.get(k, 0) + c

    def percentile(self, q: float) -> float:
        """The value of rank floor(q * (count - 1)) among the sorted values (numpy's method "lower"),
        to the bin width: the centre of its bin, held inside the extremes."""
        rank, seen = q * (self.count - 1), 0
        for k in sorted(self.bins):
            seen += self.bins[k]
            if seen > rank:
                return min(max((k + 0.5) * self.width, self.lowest), self.highest)
        return self.highest

    def summary(self) -> dict:
        """count, mean, std, min, max, p5 and p95 of the values ({"count": 0} for none)."""
        if self.count == 0:
            return {"count": 0}
        mean = self.total / self.count
        spread = max(self.squares / self.count - mean * mean, 0.0)
        return {"count": self.count, "mean": mean, "std": math.sqrt(spread), "min": self.lowest,
                "max": self.highest, "p5": self.percentile(0.05), "p95": self.percentile(0.95)}

    def state(self) -> dict:
        """The accumulator as a JSON document, which from_state reads back."""
        return {"width": self.width, "count": self.count, "sum": self.total, "squares": self.squares,
                "min": self.lowest if self.count else None, "max": self.highest if self.count else None,
                "bins": {str(k): c for k, c in sorted(self.bins.items())}}

    @classmethod
    def from_state(cls, state: dict) -> "Accumulator":
        """The accumulator of a document of state()."""
        a = cls(state["width"])
        a.count, a.total, a.squares = state["count"], state["sum"], state["squares"]
        if a.count:
            a.lowest, a.highest = state["min"], state["max"]
        a.bins = {int(k): c for k, c in state["bins"].items()}
        return a


class Statistics:
    """Accumulators of log-F0 over voiced frames and of energy, for the corpus and each speaker."""

    def __init__(self):
        self.corpus = self.fresh()
        self.speakers = {}

    @staticmethod
    def fresh() -> Dict[str, "Accumulator"]:
        """An empty accumulator for each statistic."""
        return {name: Accumulator(width) for name, width in BIN_WIDTHS.items()}

    def add(self, speaker: Optional[str], values: Dict[str, Any]) -> None:
        """Adds an item's values to the corpus and to its speaker (None: to the corpus only)."""
        scopes = [self.corpus]
        if speaker is not None:
            scopes.append(self.speakers.setdefault(speaker, self.fresh()))
        for scope in scopes:
            for name, v in values.items():
                scope[name].add(v)

    def merge(self, other: "Statistics") -> None:
        """Adds the statistics of another run (a shard)."""
        for name in BIN_WIDTHS:
            self.corpus[name].merge(other.corpus[name])
        for speaker, scope in other.speakers.items():
            own = self.speakers.setdefault(speaker, self.fresh())
            for name in BIN_WIDTHS:
                own[name].merge(scope[name])

    def document(self) -> dict:
        """The statistics as the document of stats.json: summaries and the accumulators' states."""
        def summaries(scope):
            return {name: a.summary() for name, a in scope.items()}

        def states(scope):
            return {name: a.state() for name, a in scope.items()}

        return {"corpus": summaries(self.corpus),
                "speakers": {s: summaries(v) for s, v in sorted(self.speakers.items())},
                "note": "lf0: natural log of F0 in Hz over voiced frames; energy: dB re full scale over all "
                        "frames; p5 and p95 are the values of rank floor(q (count - 1)) to the width of the "
                        "histogram bins they are read from (widths in accumulators)",
                "accumulators": {"corpus": states(self.corpus),
                                 "speakers": {s: states(v) for s, v in sorted(self.speakers.items())}}}

    @classmethod
    def from_document(cls, document: dict) -> "Statistics":
        """The statistics of a stats.json document."""
        s = cls()
        saved = document["accumulators"]
        s.corpus = {name: Accumulator.from_state(v) for name, v in saved["corpus"].items()}
        s.speakers = {sp: {name: Accumulator.from_state(v) for name, v in scope.items()}
                      for sp, scope in saved["speakers"].items()}
        return s


def voiced_frames(arrays: Dict[str, np.ndarray]) -> Dict[str, int]:
    """{"voiced": the number of voiced frames} when the features tell it, else {}."""
    flags = arrays["f0"] > 0 if "f0" in arrays else arrays["vuv"] > 0 if "vuv" in arrays else None
    return {} if flags is None else {"voiced": int(flags.sum())}


def item_values(store: Any, entry: dict) -> Dict[str, np.ndarray]:
    """{statistic: values} of one item's arrays: log-F0 of its voiced frames and its energies,
    as far as its features hold them."""
    values = {}
    f0 = store.read(entry, "f0")
    if f0 is not None:
        values["lf0"] = np.log(f0[f0 > 0].astype(np.float64))
    else:
        lf0, vuv = store.read(entry, "lf0"), store.read(entry, "vuv")
        if lf0 is not None and vuv is not None:
            values["lf0"] = lf0[vuv > 0].astype(np.float64)
    energy = store.read(entry, "energy")
    if energy is not None:
        values["energy"] = energy
    return values


def statistics_of(store: Any, entries: Iterable[dict]) -> "Statistics":
    """The statistics of the items of the manifest entries, read from the store."""
    stats = Statistics()
    for entry in entries:
        stats.add(entry.get("speaker"), item_values(store, entry))
    return stats
