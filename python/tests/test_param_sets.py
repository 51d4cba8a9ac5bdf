"""Parameter sets that say what they are: write_params of an encode result writes the streams and
their settings record, read_params gives the set back with its settings, decode takes them and
refuses options that contradict them; round trips at every rate and frame shift need nothing but
the file names."""
import json
import wave

import numpy as np
import pytest

import velk
from conftest import SAMPLES
from test_rates import RATES, harmonics

RECORD_KEYS = ["format", "version", "fs", "lframe", "frames", "frame_centre", "frame_shift_s", "ccord", "alpha",
               "ccmeth", "morvscale", "f0min", "f0max", "streams"]


def float32(a):
    return a.astype(np.float32).astype(np.float64)


@pytest.fixture(scope="module")
def wide():
    """0.4 s of harmonics at 22.05 kHz, encoded with a frame shift of 256 and warping 0.5."""
    x = harmonics(22050, 0.4, 140.0, 7000)
    return velk.encode(x, 22050, lframe=256, alpha=0.5, f0min=70, f0max=400)


def test_a_set_is_its_three_streams_and_a_record_beside_them(tmp_path, wide):
    velk.write_params(tmp_path / "k.lf0", wide)
    for stream, values in zip(("lf0", "cc", "fv"), wide):
        velk.write_params(tmp_path / f"plain.{stream}", values)
        assert (tmp_path / f"k.{stream}").read_bytes() == (tmp_path / f"plain.{stream}").read_bytes(), stream
    text = (tmp_path / "k.lf0.json").read_text()
    record = json.loads(text)
    assert list(record) == RECORD_KEYS
    assert text.splitlines()[1] == '  "format": "velk parameter set",'
    frames = len(wide.lf0)
    assert (record["fs"], record["lframe"], record["frames"], record["ccord"], record["alpha"]) == (
        22050, 256, frames, 49, 0.5)
    assert (record["ccmeth"], record["morvscale"], record["f0min"], record["f0max"]) == (1, True, 70, 400)
    assert record["frame_shift_s"] == 256 / 22050 and record["version"] == velk.__version__
    assert record["streams"] == {"lf0": "k.lf0", "cc": "k.cc", "fv": "k.fv"}
    assert sorted(p.name for p in tmp_path.iterdir() if p.name.startswith("k")) == [
        "k.cc", "k.fv", "k.lf0", "k.lf0.json"]


def test_a_set_written_without_a_record_removes_the_earlier_one(tmp_path, wide):
    velk.write_params(tmp_path / "k.lf0", wide)
    with pytest.warns(UserWarning, match="k.lf0.json of earlier streams removed"):
        velk.write_params(tmp_path / "k.lf0", wide, record=False)
    assert not (tmp_path / "k.lf0.json").exists()
    assert isinstance(velk.read_params(tmp_path / "k.lf0"), np.ndarray)  # plain streams again


def test_read_params_gives_the_set_with_its_settings_and_decode_needs_nothing_else(tmp_path, wide):
    velk.write_params(tmp_path / "k.lf0", wide)
    e = velk.read_params(tmp_path / "k.lf0")
    assert isinstance(e, velk.Encoded)
    assert e.settings() == {**wide.settings(), "f0min": 70.0, "f0max": 400.0}
    for read, written in zip(e, wide):
        assert np.array_equal(read, float32(written))
    assert e.cc.shape == wide.cc.shape
    rounded = velk.Encoded(*(float32(a) for a in wide), **{k: v for k, v in wide.settings().items() if k != "ccord"})
    assert velk.decode(e).tobytes() == velk.decode(rounded).tobytes()
    # a single stream, or a set written without its record, reads as the plain array it always did
    assert velk.read_params(tmp_path / "k.fv").shape == (len(wide.lf0),)
    velk.write_params(tmp_path / "bare.lf0", wide, record=False)
    assert not (tmp_path / "bare.lf0.json").exists()
    assert isinstance(velk.read_params(tmp_path / "bare.lf0"), np.ndarray)


def test_the_streams_may_have_names_of_their_own(tmp_path, wide):
    velk.write_params(tmp_path / "k", wide, cc=tmp_path / "k.mcep", fv=tmp_path / "voicing.bin")
    record = json.loads((tmp_path / "k.json").read_text())
    assert record["streams"] == {"lf0": "k", "cc": "k.mcep", "fv": "voicing.bin"}
    assert sorted(p.name for p in tmp_path.iterdir()) == ["k", "k.json", "k.mcep", "voicing.bin"]
    assert np.array_equal(velk.read_params(tmp_path / "k").cc, float32(wide.cc))
    # a stream in another folder is named by its absolute path
    (tmp_path / "elsewhere").mkdir()
    velk.write_params(tmp_path / "j.lf0", wide, cc=tmp_path / "elsewhere" / "j.cc")
    record = json.loads((tmp_path / "j.lf0.json").read_text())
    assert record["streams"] == {"lf0": "j.lf0", "cc": str(tmp_path / "elsewhere" / "j.cc"), "fv": "j.fv"}
    assert np.array_equal(velk.read_params(tmp_path / "j.lf0").cc, float32(wide.cc))
    with pytest.raises(ValueError, match="^cc and fv name the streams of a set"):
        velk.write_params(tmp_path / "j.lf0", wide.lf0, cc=tmp_path / "j.cc")


def test_a_set_without_voicing_has_no_fv_stream(tmp_path):
    e = velk.encode(harmonics(16000, 0.3, 150.0, 4000), 16000, voicing=False)
    velk.write_params(tmp_path / "k.lf0", e)
    assert json.loads((tmp_path / "k.lf0.json").read_text())["streams"]["fv"] is None
    assert not (tmp_path / "k.fv").exists()
    assert velk.read_params(tmp_path / "k.lf0").fv is None


def test_streams_that_disagree_with_their_record_are_refused_naming_both(tmp_path, wide):
    velk.write_params(tmp_path / "k.lf0", wide)
    frames = len(wide.lf0)
    with pytest.raises(ValueError, match="order = 39 contradicts .*ccord = 49"):
        velk.read_params(tmp_path / "k.lf0", order=39)
    assert velk.read_params(tmp_path / "k.lf0", order=49).cc.shape == (frames, 50)
    cc = tmp_path / "k.cc"
    cc.write_bytes(cc.read_bytes()[:-4 * 50])
    with pytest.raises(ValueError, match=f"{(frames - 1) * 50}.*{frames * 50}|{frames * 50}.*{(frames - 1) * 50}"):
        velk.read_params(tmp_path / "k.lf0")
    (tmp_path / "k.lf0.json").write_text("[]")
    with pytest.raises(ValueError, match="k.lf0.json"):
        velk.read_params(tmp_path / "k.lf0")


def test_decode_takes_the_sets_settings_and_refuses_contradictions_naming_both(wide):
    for option, value, recorded in (("lframe", 100, "256"), ("alpha", 0.42, "0.5"), ("morvscale", 0, "1")):
        with pytest.raises(ValueError, match=f"^{option} = {value} contradicts the encode result's "
                                             f"{option} = {recorded}$"):
            velk.decode(wide, **{option: value})
    assert len(velk.decode(wide, lframe=256, alpha=0.5, morvscale=1)) == (len(wide.lf0) + 1) * 256 + 1


def test_another_output_rate_is_the_synthesis_resampled(tmp_path, wide):
    y = velk.decode(wide)
    for rate in (16000, 44100):
        resampled = velk.decode(wide, fs=rate)
        # the same as the synthesis written at its rate and read back at the other (within the
        # 16-bit rounding of the file)
        velk.write_wav(tmp_path / "y.wav", y, 22050)
        expected, _ = velk.read_wav(tmp_path / "y.wav", fs=rate)
        assert len(resampled) == len(expected)
        assert np.max(np.abs(resampled - expected)) < 2e-4
        assert abs(len(resampled) / rate - len(y) / 22050) < 1e-3


def test_arrays_of_another_order_without_a_rate_are_refused():
    """Issue 34's second case: a 48 kHz signal whose voicing stays below 8 kHz decoded as 16 kHz."""
    x = harmonics(48000, 0.5, 150.0, 5300)
    lf0, cc, fv = e = velk.encode(x, 48000)
    assert fv.max() < 8000
    with pytest.raises(ValueError, match=r"^cc has order 49, not the 16000 Hz default 39: pass fs"):
        velk.decode(lf0, cc, fv)
    y = velk.decode(e)
    assert abs(len(y) - e.lframe - len(x)) <= e.lframe
    with pytest.raises(TypeError):
        velk.write_wav("never.wav", y)


def wav_rate_and_length(path):
    with wave.open(str(path)) as w:
        return w.getframerate(), w.getnframes()


def lasts_as_long(length, samples, lframe):
    """Whether a synthesis of `length` samples lasts as long as the `samples` of the input within a
    frame: synthesis frame k lies at (k + 1) * lframe, one frame of lead-in."""
    return abs(length - lframe - samples) <= lframe


@pytest.mark.parametrize("fs", RATES)
def test_round_trips_by_file_names_alone_restore_rate_and_duration(tmp_path, fs):
    x = harmonics(fs, 0.25, 150.0, min(fs / 2 - 150, 6000))
    velk.write_wav(tmp_path / "in.wav", x, fs)
    for lframe in (None, 256, 100):
        signal, rate = velk.read_wav(tmp_path / "in.wav")
        velk.write_params(tmp_path / "k.lf0", velk.encode(signal, rate, lframe=lframe))
        e = velk.read_params(tmp_path / "k.lf0")
        velk.write_wav(tmp_path / "out.wav", velk.decode(e), e.fs)
        written_rate, length = wav_rate_and_length(tmp_path / "out.wav")
        assert written_rate == fs and lasts_as_long(length, len(x), e.lframe), (fs, lframe, length)


def test_write_wav_needs_the_rate(tmp_path):
    with pytest.raises(TypeError):
        velk.write_wav(tmp_path / "y.wav", np.zeros(10))
    assert not (tmp_path / "y.wav").exists()
    x, fs = velk.read_wav(SAMPLES / "en_vm-deleted.wav")
    velk.write_wav(tmp_path / "y.wav", x, fs)
    assert wav_rate_and_length(tmp_path / "y.wav") == (16000, len(x))


def test_a_set_that_cannot_be_written_whole_leaves_the_earlier_one(tmp_path, wide):
    velk.write_params(tmp_path / "k.lf0", wide)
    before = {p.name: p.read_bytes() for p in tmp_path.iterdir()}
    shorter = velk.encode(harmonics(22050, 0.2, 140.0, 7000), 22050, lframe=256)
    (tmp_path / "k.fv").unlink()
    (tmp_path / "k.fv").mkdir()  # the voicing stream cannot be written
    with pytest.raises(OSError) as raised:
        velk.write_params(tmp_path / "k.lf0", shorter)
    assert raised.value.filename == str(tmp_path / "k.fv")
    after = {p.name: p.read_bytes() for p in tmp_path.iterdir() if p.is_file()}
    assert after == {n: b for n, b in before.items() if n != "k.fv"}
    assert sorted(p.name for p in tmp_path.iterdir()) == sorted(before)
