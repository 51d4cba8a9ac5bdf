"""Float signals are on the +-1 scale: a peak above 1 is reported, one above 64 refused; write_wav
counts the samples it clips."""
import warnings

import numpy as np
import pytest

import velk


def caught(function, *args, **kwargs):
    """The messages of the UserWarnings the call gives."""
    with warnings.catch_warnings(record=True) as found:
        warnings.simplefilter("always")
        function(*args, **kwargs)
    return [str(w.message) for w in found if issubclass(w.category, UserWarning)]


@pytest.mark.parametrize("dtype", [np.float32, np.float64])
def test_sixteen_bit_values_as_floats_are_refused(speech, dtype):
    loud = (speech * 32768).astype(dtype)
    with pytest.raises(ValueError, match=r"^x has peak .*, above 64: .*divide 16-bit values by 32768"):
        velk.encode(loud, 16000)
    with pytest.raises(ValueError, match=r"^x has peak .*, above 64"):
        velk.pitch(loud, 16000)
    with pytest.raises(ValueError, match=r"^y has peak .*, above 64"):
        velk.write_wav("/nonexistent/never-written.wav", loud, 16000)


def test_a_peak_above_one_is_reported_and_the_signal_used(speech):
    twice = speech / np.abs(speech).max() * 2.0
    messages = caught(velk.encode, twice, 16000)
    assert any(m.startswith("x has peak 2, above 1: float signals are on the +-1 scale") for m in messages)
    assert any(m.startswith("x has peak 2, above 1") for m in caught(velk.pitch, twice, 16000))


def test_full_scale_and_int16_signals_pass_silently(speech):
    full = speech / np.abs(speech).max()
    assert caught(velk.encode, full, 16000) == []
    assert caught(velk.encode, (full * 32767).astype(np.int16), 16000) == []


def test_write_wav_counts_the_clipped_samples(tmp_path, speech):
    y = speech / np.abs(speech).max() * 1.5
    path = tmp_path / "loud.wav"
    messages = caught(velk.write_wav, path, y, 16000)
    beyond = int(np.count_nonzero((y >= 1.0) | (y <= -32769.0 / 32768)))
    assert beyond > 0
    assert messages == [f"{beyond} samples clipped in {path}; decode(..., wavnorm=1) scales the output to fit."]
    written = np.frombuffer(path.read_bytes()[44:], dtype="<i2")
    assert np.array_equal(written, velk.to_int16(y))
    assert caught(velk.write_wav, tmp_path / "quiet.wav", y / 2, 16000) == []
