"""velk: the harmonic-model vocoder and the pitch trackers over numpy arrays.

The functions run the same library code as the programs velkcoder, velkdecoder and pitch (the
compiled extension velk._velk), so their numbers are the programs' numbers: encode on a 16-bit
signal gives the values the parameter files hold (after rounding to float32), and
to_int16(decode(...)) the samples of the decoder's WAV file. Signals are 1-D float arrays on the
+-1 scale (as soundfile, librosa and scipy give them) or int16 arrays; a float signal whose peak
exceeds 1 gives a UserWarning, one whose peak exceeds 64 (16-bit values) a ValueError. Every
result is a new float64 array unless stated.

The computation runs without the GIL and keeps no state between calls (the noise generators of
the analysis and synthesis belong to each call), so threads encode and decode in parallel and
give the same results as serial runs. Bad arguments raise ValueError naming the argument and
the rule; unreadable or unwritable files raise OSError. Nothing is printed to stdout.
"""
import ast
import functools
import inspect

from . import _velk
from ._velk import Decoder, Encoder, Features, __version__
from .encoded import Encoded

__all__ = ["Decoder", "Encoded", "Encoder", "Features", "features", "encode", "decode", "to_int16", "pitch", "read_wav",
           "write_wav", "envelope", "frame_times", "read_params", "write_params", "__version__"]


def _signature(function):
    """The signature written on the first line of a compiled function's docstring, without its
    type annotations: "encode(x: object, fs: float = 16000, *, ...) -> velk.Encoded"."""
    first = function.__doc__.split("\n", 1)[0]
    tree = ast.parse("def f" + first[first.index("("):] + ": pass")
    arguments = tree.body[0].args
    parameters = []
    positional = arguments.posonlyargs + arguments.args
    defaults = [inspect.Parameter.empty] * (len(positional) - len(arguments.defaults)) + [
        ast.literal_eval(d) for d in arguments.defaults]
    for argument, default in zip(positional, defaults):
        parameters.append(inspect.Parameter(argument.arg, inspect.Parameter.POSITIONAL_OR_KEYWORD,
                                            default=default))
    for argument, default in zip(arguments.kwonlyargs, arguments.kw_defaults):
        parameters.append(inspect.Parameter(
            argument.arg, inspect.Parameter.KEYWORD_ONLY,
            default=inspect.Parameter.empty if default is None else ast.literal_eval(default)))
    return inspect.Signature(parameters)


def _exported(function):
    """A Python function calling the compiled one, so that help() and inspect show its
    signature and docstring as those of a plain function of this package."""

    @functools.wraps(function)
    def call(*args, **kwargs):
        return function(*args, **kwargs)

    call.__signature__ = _signature(function)
    call.__doc__ = function.__doc__.split("\n", 1)[1].lstrip("\n")
    call.__module__ = __name__
    del call.__wrapped__
    return call


encode = _exported(_velk.encode)
features = _exported(_velk.features)
decode = _exported(_velk.decode)
to_int16 = _exported(_velk.to_int16)
pitch = _exported(_velk.pitch)
read_wav = _exported(_velk.read_wav)
write_wav = _exported(_velk.write_wav)
envelope = _exported(_velk.envelope)
frame_times = _exported(_velk.frame_times)
read_params = _exported(_velk.read_params)
write_params = _exported(_velk.write_params)
