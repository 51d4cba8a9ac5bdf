"""The result of velk.encode and of velk.read_params of a parameter set: the three streams and the
settings they were analysed with."""
import collections

__all__ = ["Encoded"]


class Encoded(collections.namedtuple("Encoded", "lf0 cc fv")):
    """The streams lf0, cc and fv with the settings they were analysed with, so that decode(e) and
    write_params(path, e) need nothing else: lf0, cc, fv = velk.encode(...) still unpacks the
    three streams.

    fs: the analysis rate in Hz.  lframe: the frame shift in samples (frame k is centred at sample
    k * lframe).  alpha: the warping factor of the cepstra.  ccmeth: the envelope method.
    morvscale: whether the cepstra are range-adapted.  f0min, f0max: the F0 bounds of the
    analysis in Hz.  ccord: the cepstral order, cc.shape[1] - 1.  lframe and alpha None (the
    defaults) stand for the rate's own, as encode's options do (80 and 0.42 at 16 kHz).
    """

    def __new__(cls, lf0, cc, fv, fs=16000, lframe=None, *, alpha=None, ccmeth=1, morvscale=True, f0min=60.0,
                f0max=500.0):
        self = super().__new__(cls, lf0, cc, fv)
        self.fs, self.lframe, self.alpha, self.ccmeth = fs, lframe, alpha, ccmeth
        self.morvscale, self.f0min, self.f0max = bool(morvscale), f0min, f0max
        return self

    @property
    def ccord(self) -> int:
        """The cepstral order: the values per frame of cc, less one."""
        return self.cc.shape[-1] - 1

    def settings(self) -> dict:
        """The settings as a dict (fs, lframe, alpha, ccord, ccmeth, morvscale, f0min, f0max)."""
        return {"fs": self.fs, "lframe": self.lframe, "alpha": self.alpha, "ccord": self.ccord,
                "ccmeth": self.ccmeth, "morvscale": self.morvscale, "f0min": self.f0min, "f0max": self.f0max}

    def __repr__(self):
        settings = ", ".join(f"{k}={v!r}" for k, v in self.settings().items() if k != "ccord")
        return f"Encoded(lf0={self.lf0!r}, cc={self.cc!r}, fv={self.fv!r}, {settings})"
