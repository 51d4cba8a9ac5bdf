"""The package itself: its version, its documented signatures, the warnings' origin."""
import inspect
import pathlib
import pydoc
import re
import warnings

import numpy as np

import velk

TOP = pathlib.Path(__file__).resolve().parent.parent.parent


def test_version_is_the_projects():
    declared = re.search(r"project\(velk VERSION ([0-9.]+)", (TOP / "CMakeLists.txt").read_text()).group(1)
    assert velk.__version__ == declared


def test_help_shows_every_function_with_its_signature():
    text = pydoc.render_doc(velk, renderer=pydoc.plaintext)
    assert "PyCapsule" not in text
    # lframe, ccord and alpha default by the rate analysed at (None: the rate's default).
    assert "encode(x, fs=16000, *, lframe=None, ccord=None, ccmeth=1, alpha=None, f0min=60, f0max=500, " \
           "f0acc=0, zfill=160, morvscale=1, f0=None, voicing=True, resample=None)" in text
    assert "decode(lf0, cc=None, fv=None, *, fs=None, lframe=None, alpha=None," in text
    assert "pitch(x, fs, *, algorithm='dp', frame_shift=80," in text
    for name in ("to_int16(y)", "read_wav(path, fs=None)", "write_wav(path, y, fs)", "read_params(path, order=None)",
                 "write_params(path, a, *, cc=None, fv=None, record=True)"):
        assert name in text
    # The docstring follows without the compiled function's signature line.
    assert inspect.getdoc(velk.encode).startswith("Analyses a signal")


def test_signatures_bind_as_the_compiled_functions_do():
    signature = inspect.signature(velk.decode)
    bound = signature.bind(1, 2, fdur=1.2)
    bound.apply_defaults()
    assert bound.arguments["fv"] is None and bound.arguments["wavnorm"] == 0
    assert signature.parameters["lframe"].kind is inspect.Parameter.KEYWORD_ONLY


def test_warnings_point_at_the_callers_line():
    x = np.zeros(16000)
    x[:8000] = np.sin(np.arange(8000) * 0.1) * 0.5
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        velk.encode(x, 16000)
    assert [pathlib.Path(w.filename).name for w in caught] == ["test_package.py"]
