"""Bad arguments raise exceptions that name the argument and the rule; odd but valid arrays work."""
import math
import warnings

import numpy as np
import pytest

import velk


def refused(pattern, function, *args, **kwargs):
    with pytest.raises(ValueError, match=pattern):
        function(*args, **kwargs)


def test_signal_arrays_are_checked(speech):
    refused(r"^x is empty$", velk.encode, np.zeros(0))
    refused(r"^x must be 1-D \(got shape \(2, 3\)\)", velk.encode, np.zeros((2, 3)))
    refused(r"^x must be a float32, float64 or int16 array \(got dtype 'int32'\)", velk.encode,
            speech.astype(np.int32))
    refused(r"^x must be a float32, float64 or int16 array", velk.encode, speech.astype(np.complex128))
    bad = speech.copy()
    bad[1234] = math.nan
    refused(r"^x holds a non-finite value at index 1234$", velk.encode, bad)
    bad[1234] = math.inf
    refused(r"^x holds a non-finite value", velk.pitch, bad, 16000)
    refused(r"^x must be a float32, float64 or int16 array \(got dtype .object.\)", velk.encode, [object()])


@pytest.mark.parametrize("fs", [0, -16000, math.nan, math.inf])
def test_sampling_rates_must_be_finite_and_positive(speech, fs):
    refused(r"^fs must be a finite sampling rate above 0 Hz", velk.encode, speech, fs)
    refused(r"^fs must be a finite sampling rate above 0 Hz", velk.pitch, speech, fs)


def test_rates_outside_8_to_48_khz_are_refused_or_brought_down(speech, streams):
    refused(r"^fs must be a whole number of Hz from 8000 to 48000 \(got 7999\)", velk.encode, speech, 7999)
    refused(r"^fs must be a whole number of Hz from 8000 to 48000 \(got 22050.5\)", velk.encode, speech, 22050.5)
    refused(r"^resample must be a whole number of Hz from 8000 to 48000 \(got 4000\)", velk.encode, speech,
            16000, resample=4000)
    refused(r"^fs must be a whole number of Hz from 8000 to 48000 \(got 96000\)", velk.decode, *streams, fs=96000)
    with pytest.warns(UserWarning, match=r"^fs = 96000 Hz lies above 48000 Hz; x is resampled to 48000 Hz\.$"):
        e = velk.encode(np.repeat(speech[:16000], 6), 96000)
    assert e.fs == 48000 and e.lframe == 240


def test_streams_of_a_higher_rate_are_refused_at_a_lower_one(streams):
    # A maximum voiced frequency above fs / 2 shows that the streams were made at a higher rate.
    fv = np.array(streams.fv)
    fv[5] = 9000.0
    refused(r"^fv holds a maximum voiced frequency of 9000 Hz, above fs / 2 = 8000 Hz; pass the rate", velk.decode,
            streams.lf0, streams.cc, fv)
    assert len(velk.decode(streams.lf0, streams.cc, fv, fs=22050)) > 0
    fv[5] = 1e30  # no rate holds it: a damaged value, synthesised as before
    assert len(velk.decode(streams.lf0, streams.cc, fv)) > 0
    refused(r"^cc and fv come from the encode result passed as lf0", velk.decode, streams, streams.cc)
    refused(r"^cc must be given", velk.decode, streams.lf0)


@pytest.mark.parametrize(
    "options,pattern",
    [
        ({"lframe": 0}, r"^lframe must be at least 1 sample \(got 0\)"),
        ({"ccord": -1}, r"^ccord must lie in 0\.\.511 \(got -1\)"),
        ({"ccord": 512}, r"^ccord must lie in 0\.\.511 \(got 512\)"),
        ({"ccmeth": 5}, r"^ccmeth must be one of the envelope methods 0\.\.4"),
        ({"alpha": 1.0}, r"^alpha must lie strictly between -1 and 1"),
        ({"alpha": math.nan}, r"^alpha must lie strictly between -1 and 1"),
        ({"f0min": 0}, r"^f0min and f0max must satisfy 20 <= f0min < f0max < fs / 2 = 8000 Hz"),
        ({"f0max": 8000}, r"^f0min and f0max must satisfy"),
        ({"f0min": 19.9}, r"^f0min and f0max must satisfy"),
        ({"f0max": 8001}, r"^f0min and f0max must satisfy"),
        ({"f0min": 300, "f0max": 200}, r"^f0min and f0max must satisfy"),
        ({"f0max": math.inf}, r"^f0min and f0max must satisfy"),
        ({"f0acc": -1}, r"^f0acc must be 0 or more"),
        ({"morvscale": 2}, r"^morvscale must be 0 or 1"),
    ],
)
def test_encoder_options_are_checked(speech, options, pattern):
    refused(pattern, velk.encode, speech, **options)


@pytest.mark.parametrize(
    "options,pattern",
    [
        ({"lframe": 0}, r"^lframe must be at least 1 sample"),
        ({"alpha": -1.0}, r"^alpha must lie strictly between -1 and 1"),
        ({"lframe": 2, "fdur": 0.25}, r"^lframe \* fdur must be at least one sample"),
        ({"wavnorm": 2}, r"^wavnorm must be 0 or 1"),
        ({"morvscale": -1}, r"^morvscale must be 0 or 1"),
    ],
)
def test_decoder_options_are_checked(streams, options, pattern):
    refused(pattern, velk.decode, streams.lf0, streams.cc, streams.fv, **options)


def test_stream_dimensions_must_agree(streams):
    lf0, cc, fv = streams
    refused(r"^lf0 and cc have incompatible dimensions \(lf0 has %d frames, cc %d rows\)" % (len(lf0), len(lf0) - 1),
            velk.decode, lf0, cc[:-1], fv)
    refused(r"^lf0 and cc have incompatible dimensions", velk.decode, lf0, cc.reshape(-1)[:-1], fv)
    refused(r"^lf0 and fv have incompatible dimensions", velk.decode, lf0, cc, fv[:-2])
    refused(r"^lf0 is empty$", velk.decode, lf0[:0], cc, fv)
    refused(r"^cc is empty$", velk.decode, lf0, cc[:, :0], fv)
    refused(r"^lf0 must be a float32 or float64 array", velk.decode, np.zeros(len(lf0), np.int16), cc, fv)
    refused(r"^cc must be 2-D", velk.decode, lf0, cc.reshape(1, -1, 40), fv)


def test_given_tracks_are_checked(speech):
    refused(r"^f0 is empty$", velk.encode, speech, f0=np.zeros(0))
    refused(r"^f0 holds a NaN or \+inf value at index 3$", velk.encode, speech, f0=np.array([0, 0, 0, math.nan]))


def test_pitch_arguments_are_checked(speech):
    refused(r'^algorithm must be "dp" or "epoch"', velk.pitch, speech, 16000, algorithm="yin")
    refused(r'^output must be "hz", "log" or "period"', velk.pitch, speech, 16000, output="mel")
    refused(r"^fs: sampling frequency must be between 4 and 1000 kHz", velk.pitch, speech, 2000)
    refused(r"^f0min, f0max: min\(max\)_f0 parameter inconsistent", velk.pitch, speech, 16000, f0max=9000)
    refused(r"^f0min, f0max: min\(max\)_f0 parameter inconsistent", velk.pitch, speech, 16000, f0min=500)
    refused(r"^frame_shift: frame_step parameter must be between", velk.pitch, speech, 16000, frame_shift=0)
    refused(r"^frame_shift: frame_step parameter must be between", velk.pitch, speech, 16000, frame_shift=2000)
    refused(r"^x: input range too small for analysis", velk.pitch, speech[:200], 16000)
    for epoch_option in ({"frame_shift": 0}, {"frame_shift": -80}):
        refused(r"^frame_shift: frame_step parameter must be between", velk.pitch, speech, 16000, algorithm="epoch",
                **epoch_option)
    refused(r"^f0min: min_f0 of the epoch tracker must be at least 10 Hz", velk.pitch, speech, 16000,
            algorithm="epoch", f0min=5)
    refused(r"^f0min, f0max: min\(max\)_f0 parameter inconsistent", velk.pitch, speech, 16000, algorithm="epoch",
            f0min=0)
    refused(r"^voicing_bias must be finite", velk.pitch, speech, 16000, voicing_bias=math.nan)


def test_files_are_checked(tmp_path, streams):
    with pytest.raises(FileNotFoundError):
        velk.read_wav(tmp_path / "missing.wav")
    with pytest.raises(FileNotFoundError):
        velk.read_params(tmp_path / "missing.cc")
    (tmp_path / "text.wav").write_text("not a wav file\n")
    refused(r"^path: could not read .*text.wav: ", velk.read_wav, tmp_path / "text.wav")
    velk.write_params(tmp_path / "five.cc", np.arange(5.0))
    refused(r"^order: .* holds 5 values, not a whole number of frames of 2$", velk.read_params,
            tmp_path / "five.cc", order=1)
    for fs in (7999, 48001, 22050.5):
        refused(r"^fs must be a whole number of Hz from 8000 to 48000", velk.write_wav, tmp_path / "y.wav",
                np.zeros(10), fs)
    assert not (tmp_path / "y.wav").exists()
    with pytest.raises(OSError):
        velk.write_wav(tmp_path / "no" / "such" / "dir.wav", np.zeros(10), 16000)
    with pytest.raises(OSError):
        velk.write_params(tmp_path / "no" / "dir.cc", streams.cc)
    velk.write_params(tmp_path / "empty.cc", np.zeros(0))
    assert velk.read_params(tmp_path / "empty.cc").shape == (0,)


def test_outputs_go_through_links_and_not_over_write_protection(tmp_path):
    # A link writes the file it leads to; a file without any write bit is refused, also for root.
    target = tmp_path / "target.lf0"
    target.write_bytes(b"old")
    (tmp_path / "link.lf0").symlink_to("target.lf0")
    velk.write_params(tmp_path / "link.lf0", np.ones(2))
    assert (tmp_path / "link.lf0").is_symlink()
    assert target.read_bytes() == np.ones(2, "<f4").tobytes()
    target.chmod(0o444)
    for write in (lambda: velk.write_params(tmp_path / "link.lf0", np.zeros(3)),
                  lambda: velk.write_wav(target, np.zeros(10), 16000)):
        with pytest.raises(PermissionError):
            write()
    assert target.read_bytes() == np.ones(2, "<f4").tobytes()
    assert sorted(p.name for p in tmp_path.iterdir()) == ["link.lf0", "target.lf0"]


def test_strided_and_fortran_views_give_the_results_of_contiguous_copies(speech, streams):
    view = np.repeat(speech, 2)[::2]
    assert not view.flags.c_contiguous
    assert all(a.tobytes() == b.tobytes() for a, b in zip(velk.encode(view, 16000), streams))
    fortran = np.asfortranarray(streams.cc)
    reversed_view = streams.lf0[::-1][::-1]
    y = velk.decode(streams.lf0, streams.cc, streams.fv)
    assert velk.decode(reversed_view, fortran, streams.fv[::1]).tobytes() == y.tobytes()
    assert velk.pitch(view, 16000).tobytes() == velk.pitch(speech, 16000).tobytes()


def test_results_have_the_documented_types_and_shapes(speech, streams):
    lf0, cc, fv = streams
    assert type(streams).__name__ == "Encoded" and streams._fields == ("lf0", "cc", "fv")
    assert lf0.dtype == cc.dtype == fv.dtype == np.float64
    assert cc.shape == (len(lf0), 40) and fv.shape == lf0.shape
    assert set(lf0[lf0 < 0]) == {-1e10}
    assert velk.encode(speech, ccord=12).cc.shape == (len(lf0), 13)
    y = velk.decode(lf0, cc, fv)
    assert y.dtype == np.float64 and len(y) == (len(lf0) + 1) * 80 + 1
    assert len(velk.decode(lf0, cc, fv, fdur=1.5)) == (len(lf0) + 1) * 120 + 1
    assert velk.to_int16(np.array([1.0, -1.0, 0.5, -0.5, 1e-9, math.nan, -2.0])).tolist() == [
        32767, -32768, 16384, -16384, 0, 0, -32768]
    normalised = velk.decode(lf0, cc, fv, wavnorm=1)
    assert abs(np.max(np.abs(normalised)) - 0.99) < 1e-12


def test_warnings_replace_the_programs_messages(speech, streams):
    silent_gap = np.concatenate([speech, np.zeros(400), speech])
    with pytest.warns(UserWarning, match="^zeros in the signal have been filled with noise.$"):
        velk.encode(silent_gap)
    with pytest.warns(UserWarning, match="^floud, fpfilt and fdrc not applicable for this alpha.$"):
        velk.decode(streams.lf0, streams.cc, streams.fv, alpha=0.3, floud=1.0)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        velk.encode(speech, zfill=0)


def test_tracker_warnings_are_python_warnings(capfd):
    # Above 98 kHz the tracker clamps an LPC order for every block: one warning, nothing printed.
    fs = 192000
    x = 0.1 * np.sin(2 * np.pi * 150 * np.arange(2 * fs) / fs)
    with pytest.warns(UserWarning) as caught:
        f0 = velk.pitch(x, fs, frame_shift=960)
    assert [str(w.message) for w in caught] == ["Optimim order (194) exceeds that allowable (100); reduce Fs"]
    assert f0.shape == (400,)
    assert np.median(f0[10:-10]) == pytest.approx(150, rel=0.02)
    assert capfd.readouterr() == ("", "")


def test_the_library_prints_nothing(capfd, speech, streams, tmp_path):
    velk.encode(speech, f0acc=2)
    velk.decode(streams.lf0, streams.cc, None, fpitch=2, fdrc=0.5)
    velk.pitch(speech, 16000)
    velk.pitch(speech, 16000, algorithm="epoch")
    velk.write_params(tmp_path / "a.lf0", streams.lf0)
    out, _ = capfd.readouterr()
    assert out == ""
