"""Arrays in the other byte order, extreme scales and syntheses that overflow: the module gives the
right numbers, refuses, or warns, and never returns a non-finite sample."""
import math
import struct
import warnings

import numpy as np
import pytest

import velk
from conftest import VELKDECODER, run


def same_streams(a, b):
    return all((x is None and y is None) or x.tobytes() == y.tobytes() for x, y in zip(a, b))


@pytest.mark.parametrize("dtype", [">f8", ">f4", ">i2"])
def test_big_endian_signals_give_the_native_results(speech, streams, dtype):
    native = dtype.replace(">", "<")
    values = (speech * 32768).round() if dtype == ">i2" else speech
    x = values.astype(native)
    swapped = x.astype(dtype)
    assert swapped.tobytes() != x.tobytes()
    assert same_streams(velk.encode(swapped), velk.encode(x))
    assert velk.pitch(swapped, 16000).tobytes() == velk.pitch(x, 16000).tobytes()
    if dtype == ">f8":
        assert same_streams(velk.encode(swapped), streams)


def test_big_endian_streams_decode_as_native(streams):
    y = velk.decode(streams.lf0, streams.cc, streams.fv)
    swapped = velk.decode(streams.lf0.astype(">f8"), streams.cc.astype(">f4").astype(">f8"),
                          streams.fv.astype(">f8"))
    assert swapped.tobytes() == velk.decode(streams.lf0, streams.cc.astype(np.float32).astype(np.float64),
                                            streams.fv).tobytes()
    assert len(y) == len(swapped)
    assert velk.to_int16(np.array([0.5, -0.5], ">f8")).tolist() == [16384, -16384]


def test_extreme_scales_are_refused_and_above_full_scale_warned(speech):
    # Float signals are on the +-1 scale: beyond 64 (16-bit values, or worse) they are refused,
    # above 1 analysed with a warning.
    with pytest.raises(ValueError, match=r"^x has peak 1[0-9.]*e\+300, above 64"):
        velk.encode(speech / np.max(np.abs(speech)) * 1e300)
    with pytest.raises(ValueError, match=r"^x has peak [0-9.e+]+, above 64"):
        velk.encode(speech * 32768)
    with pytest.warns(UserWarning, match=r"^x has peak 2, above 1: float signals are on the \+-1 scale"):
        loud = velk.encode(speech / np.max(np.abs(speech)) * 2)
    assert all(np.isfinite(s).all() for s in loud)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        velk.encode(speech / np.max(np.abs(speech)))


def test_syntheses_that_overflow_are_silent_with_a_warning(streams, tmp_path):
    cc = streams.cc.copy()
    cc[:, 0] = 1000
    last = len(streams.lf0) - 1
    with pytest.warns(UserWarning, match=r"^synthesis of frames 0 to %d is not finite; they are silent\.$" % last):
        y = velk.decode(streams.lf0, cc, streams.fv)
    assert np.isfinite(y).all()
    # The program writes the same samples and says so.
    for name, values in (("lf0", streams.lf0), ("cc", cc), ("fv", streams.fv)):
        velk.write_params(tmp_path / name, values)
    out = run(VELKDECODER, tmp_path / "lf0", tmp_path / "cc", tmp_path / "fv", tmp_path / "o.wav").decode()
    assert out == "Warning: synthesis of frames 0 to %d of %s is not finite; they are silent.\n" % (
        last, tmp_path / "o.wav")
    written = np.frombuffer((tmp_path / "o.wav").read_bytes()[44:], "<i2")
    expected = velk.to_int16(velk.decode(streams.lf0, cc.astype(np.float32), streams.fv))
    assert written.tobytes() == expected.tobytes()
    normalised = velk.decode(streams.lf0, cc, streams.fv, wavnorm=1)
    assert np.isfinite(normalised).all()


def test_voiced_frames_that_overflow_are_named_too(streams, tmp_path):
    # Ten voiced frames with c0 = 1000: silent, and named, by the module and by the program.
    voiced = streams.lf0 > 0
    first = next(k for k in range(len(voiced)) if voiced[k:k + 10].all())
    cc = streams.cc.copy()
    cc[first:first + 10, 0] = 1000
    message = "synthesis of frames %d to %d is not finite; they are silent." % (first, first + 9)
    with pytest.warns(UserWarning, match="^%s$" % message.replace(".", r"\.")):
        y = velk.decode(streams.lf0, cc, streams.fv)
    assert np.isfinite(y).all()
    assert not y[(first + 2) * 80:(first + 8) * 80].any()
    for name, values in (("lf0", streams.lf0), ("cc", cc), ("fv", streams.fv)):
        velk.write_params(tmp_path / name, values)
    out = run(VELKDECODER, tmp_path / "lf0", tmp_path / "cc", tmp_path / "fv", tmp_path / "o.wav").decode()
    assert out == "Warning: " + message.replace(" is not", " of %s is not" % (tmp_path / "o.wav")) + "\n"


def test_reading_a_directory_raises(tmp_path):
    with pytest.raises(IsADirectoryError):
        velk.read_params(tmp_path)
    with pytest.raises(OSError):
        velk.read_wav(tmp_path)


def test_writes_through_standard_output_append_after_double_arrow(tmp_path):
    """An empty or full write to /dev/stdout of a process whose output is appended to a file
    adds to the file instead of replacing it."""
    import subprocess
    import sys
    target = tmp_path / "app.lf0"
    target.write_bytes(b"abcdef")
    code = ("import numpy as np, velk; velk.write_params('/dev/stdout', np.zeros(0)); "
            "velk.write_params('/dev/stdout', np.ones(2))")
    with open(target, "ab") as out:
        subprocess.run([sys.executable, "-c", code], stdout=out, check=True)
    assert target.read_bytes() == b"abcdef" + np.ones(2, "<f4").tobytes()


def test_envelopes_of_cepstra_that_are_not_finite_or_overflow_are_refused():
    with pytest.raises(ValueError, match=r"^cc holds a non-finite value at index 0$"):
        velk.envelope(np.full((3, 50), np.nan), 44100)
    bad = np.zeros((4, 40))
    bad[2, 5] = -np.inf
    with pytest.raises(ValueError, match=r"^cc holds a non-finite value at index 85$"):
        velk.envelope(bad, 16000)
    with pytest.raises(ValueError, match=r"^cc holds a non-finite value at index 0$"):
        velk.envelope(np.full(40, np.inf), 16000)
    loud = np.zeros((3, 40))
    loud[1, 0] = 1000
    with pytest.raises(ValueError, match=r"^cc: the envelope of frame 1 overflows"):
        velk.envelope(loud, 16000)
    loud[1, 0] = 100
    assert np.isfinite(velk.envelope(loud, 16000)).all()


def test_a_sound_file_with_samples_that_are_not_finite_is_refused(tmp_path):
    # A float WAV file holding NaN and inf: read_wav refuses it as velkcoder does.
    x = np.zeros(1600, "<f4")
    x[100], x[200] = np.nan, np.inf
    data = x.tobytes()
    fmt = struct.pack("<HHIIHH", 3, 1, 16000, 16000 * 4, 4, 32)
    body = b"WAVE" + b"fmt " + struct.pack("<I", 16) + fmt + b"data" + struct.pack("<I", len(data)) + data
    path = tmp_path / "nan.wav"
    path.write_bytes(b"RIFF" + struct.pack("<I", len(body)) + body)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        with pytest.raises(ValueError, match=r"^path: %s holds a non-finite value at index 100$" % str(path)):
            velk.read_wav(path)
