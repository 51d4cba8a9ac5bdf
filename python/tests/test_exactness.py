"""The module's numbers are the programs' numbers: velk against velkcoder, velkdecoder and pitch on
the bundled samples, compared byte for byte."""
import wave

import numpy as np
import pytest

import velk
from conftest import PITCH, SAMPLES, VELKCODER, VELKDECODER, run

ENCODER_OPTIONS = {
    "default": {},
    "ccmeth0": {"ccmeth": 0},
    "f0acc2": {"f0acc": 2},
}

DECODER_OPTIONS = {
    "default": {},
    "fpitch1.3-fdur1.2": {"fpitch": 1.3, "fdur": 1.2},
    "wavnorm": {"wavnorm": 1},
}


def command_options(options):
    return ["--%s=%s" % item for item in options.items()]


def float32_bytes(a):
    return np.asarray(a).astype("<f4").tobytes()


def encode_with_program(tmp_path, wav, options, streams=("lf0", "cc", "fv")):
    paths = [tmp_path / ("out." + s) for s in streams]
    run(VELKCODER, wav, *paths, *command_options(options))
    return [p.read_bytes() for p in paths]


@pytest.mark.parametrize("name", ENCODER_OPTIONS)
def test_encode_gives_the_encoders_files(tmp_path, sample, name):
    options = ENCODER_OPTIONS[name]
    lf0, cc, fv = encode_with_program(tmp_path, sample, options)
    x, fs = velk.read_wav(sample)
    e = velk.encode(x, fs, **options)
    assert e.cc.shape == (len(e.lf0), 40) and e.fv.shape == e.lf0.shape
    assert float32_bytes(e.lf0) == lf0
    assert float32_bytes(e.cc) == cc
    assert float32_bytes(e.fv) == fv


def test_int16_and_float_input_give_the_same_analysis(sample):
    x, fs = velk.read_wav(sample)
    s = np.round(x * 32768).astype(np.int16)
    from_float, from_int16 = velk.encode(x, fs), velk.encode(s, fs)
    from_float32 = velk.encode(x.astype(np.float32), fs)
    for a, b, c in zip(from_float, from_int16, from_float32):
        assert a.tobytes() == b.tobytes() == c.tobytes()


def test_encode_without_voicing_is_the_encoder_without_the_fv_file(tmp_path, sample):
    lf0, cc = encode_with_program(tmp_path, sample, {"f0acc": 1}, ("lf0", "cc"))
    x, fs = velk.read_wav(sample)
    e = velk.encode(x, fs, f0acc=1, voicing=False)
    assert e.fv is None
    assert float32_bytes(e.lf0) == lf0 and float32_bytes(e.cc) == cc


@pytest.mark.parametrize("f0acc", [0, 2])
@pytest.mark.parametrize("length", ["equal", "shorter", "longer"])
def test_a_given_track_is_used_as_f0load_uses_the_file(tmp_path, f0acc, length):
    sample = SAMPLES / "en_vm-deleted.wav"
    x, fs = velk.read_wav(sample)
    natural = velk.encode(x, fs)
    frames = len(natural.lf0)
    track = np.float32(natural.lf0) + np.where(natural.lf0 > -1e9, np.float32(0.1), np.float32(0))
    track = {"equal": track, "shorter": track[: frames - 30], "longer": np.concatenate([track, track[:7]])}[length]
    velk.write_params(tmp_path / "out.lf0", track)
    options = {"f0load": 1, "f0acc": f0acc}
    lf0, cc, fv = encode_with_program(tmp_path, sample, options)
    e = velk.encode(x, fs, f0=track.astype(np.float64), f0acc=f0acc)
    assert len(e.lf0) == min(frames, len(track))
    assert float32_bytes(e.lf0) == lf0
    assert float32_bytes(e.cc) == cc and float32_bytes(e.fv) == fv
    # The same track in Hz gives the same streams.
    hz = np.where(track > -1e9, np.exp(track.astype(np.float64)), 0.0)
    from_hz = velk.encode(x, fs, f0=hz, f0acc=f0acc)
    assert float32_bytes(from_hz.cc) == cc and float32_bytes(from_hz.fv) == fv


def test_given_values_the_analyses_cannot_use_count_as_unvoiced_as_for_f0load(tmp_path):
    sample = SAMPLES / "en_vm-deleted.wav"
    x, fs = velk.read_wav(sample)
    track = np.float32(velk.encode(x, fs).lf0)
    voiced = np.flatnonzero(track > -1e9)
    track[voiced[:3]] = [-40.0, 0.0, 20.0]  # 4e-18 Hz, 1 Hz and 5e8 Hz
    velk.write_params(tmp_path / "out.lf0", track)
    lf0, cc, fv = encode_with_program(tmp_path, sample, {"f0load": 1, "f0acc": 1})
    with pytest.warns(UserWarning, match=r"^3 values of f0 lie outside 30 to 8000 Hz and count as unvoiced"):
        e = velk.encode(x, fs, f0=track.astype(np.float64), f0acc=1)
    assert float32_bytes(e.lf0) == lf0
    assert float32_bytes(e.cc) == cc and float32_bytes(e.fv) == fv


@pytest.mark.parametrize("name", DECODER_OPTIONS)
def test_decode_gives_the_decoders_wav(tmp_path, sample, name):
    options = DECODER_OPTIONS[name]
    streams = [tmp_path / ("in." + s) for s in ("lf0", "cc", "fv")]
    run(VELKCODER, sample, *streams)
    run(VELKDECODER, *streams, tmp_path / "out.wav", *command_options(options))
    wav = (tmp_path / "out.wav").read_bytes()
    e = velk.read_params(streams[0])  # the set, by the record velkcoder wrote beside it
    y = velk.decode(e, **options)
    assert velk.to_int16(y).tobytes() == wav[44:]
    velk.write_wav(tmp_path / "mine.wav", y, e.fs)
    assert (tmp_path / "mine.wav").read_bytes() == wav
    # the same from the streams as arrays
    cc = velk.read_params(streams[1], order=39)
    assert velk.decode(e.lf0, cc, velk.read_params(streams[2]), **options).tobytes() == y.tobytes()


def test_decode_without_fv_and_with_a_flat_cepstral_stream_is_the_decoder_with_three_files(tmp_path, sample):
    streams = [tmp_path / ("in." + s) for s in ("lf0", "cc")]
    run(VELKCODER, sample, *streams)
    run(VELKDECODER, *streams, tmp_path / "out.wav", "--fwarp=0.1")
    e = velk.read_params(streams[0])
    assert e.fv is None
    y = velk.decode(e.lf0, velk.read_params(streams[1]), fwarp=0.1)
    assert velk.to_int16(y).tobytes() == (tmp_path / "out.wav").read_bytes()[44:]


@pytest.mark.parametrize("algorithm,flag", [("dp", "0"), ("epoch", "1")])
@pytest.mark.parametrize("output,otype", [("hz", "1"), ("log", "2"), ("period", "0")])
def test_pitch_gives_the_pitch_commands_track(sample, algorithm, flag, output, otype):
    expected = run(PITCH, "-a", flag, "-o", otype, sample)
    x, fs = velk.read_wav(sample)
    track = velk.pitch(x, fs, algorithm=algorithm, output=output)
    assert track.dtype == np.float64 and len(track) > 0
    assert float32_bytes(track) == expected
    assert velk.pitch(np.round(x * 32768).astype(np.int16), fs, algorithm=algorithm, output=output).tobytes() == (
        track.tobytes()
    )


def test_pitch_options_reach_the_trackers(sample):
    x, fs = velk.read_wav(sample)
    expected = run(PITCH, "-p", "160", "-L", "80", "-H", "300", "-b", "0.3", sample)
    assert float32_bytes(velk.pitch(x, fs, frame_shift=160, f0min=80, f0max=300, voicing_bias=0.3)) == expected
    expected = run(PITCH, "-a", "1", "-p", "40", "-t", "0.5", sample)
    assert float32_bytes(velk.pitch(x, fs, algorithm="epoch", frame_shift=40, unvoiced_cost=0.5)) == expected


def test_parameter_files_read_and_write_the_programs_bytes(tmp_path, sample):
    streams = [tmp_path / ("in." + s) for s in ("lf0", "cc", "fv")]
    run(VELKCODER, sample, *streams)
    cc = velk.read_params(streams[1], order=39)
    assert cc.shape[1] == 40 and cc.shape[0] == len(velk.read_params(streams[0]).lf0)
    velk.write_params(tmp_path / "copy.cc", cc)
    assert (tmp_path / "copy.cc").read_bytes() == streams[1].read_bytes()
    assert np.array_equal(velk.read_params(streams[1]), cc.reshape(-1))


def test_wav_files_round_trip(tmp_path, sample):
    x, fs = velk.read_wav(sample)
    assert fs == 16000 and x.dtype == np.float64
    velk.write_wav(tmp_path / "copy.wav", x, fs)
    assert (tmp_path / "copy.wav").read_bytes()[44:] == sample.read_bytes()[-2 * len(x):]
    velk.write_wav(tmp_path / "int16.wav", velk.to_int16(x), fs)
    assert (tmp_path / "int16.wav").read_bytes() == (tmp_path / "copy.wav").read_bytes()


def test_sound_files_at_other_rates_are_read_as_the_encoder_reads_them(tmp_path, sample):
    x, _ = velk.read_wav(sample)
    # The sample as a 44.1 kHz stereo file (each channel a shifted copy), written by Python's wave module.
    t = np.arange(int(len(x) * 44100 / 16000)) * 16000 / 44100
    left = np.interp(t, np.arange(len(x)), x)
    stereo = np.stack([left, np.roll(left, 3)], axis=1)
    path = tmp_path / "stereo.wav"
    with wave.open(str(path), "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(44100)
        w.writeframes((np.clip(stereo, -1, 32767 / 32768) * 32768).astype("<i2").tobytes())
    # At its own rate (mixed down only), and resampled to 16 kHz as --fs=16000 does.
    for rate, options in ((None, {}), (16000, {"fs": 16000})):
        khz = "44.1" if rate is None else "16"
        with pytest.warns(UserWarning, match=r"stereo.wav: 44100 Hz, 2 channels, 16-bit read as %s kHz mono\.$" % khz):
            y, fs = velk.read_wav(path, fs=rate)
        assert fs == (rate or 44100)
        assert len(y) == len(left) if rate is None else abs(len(y) - len(x)) <= 1
        lf0, cc, fv = encode_with_program(tmp_path, path, options)
        e = velk.encode(y, fs)
        assert float32_bytes(e.lf0) == lf0 and float32_bytes(e.cc) == cc and float32_bytes(e.fv) == fv


@pytest.mark.parametrize("rate", [22050, 48000])
def test_encode_and_decode_give_the_programs_files_at_other_rates(tmp_path, rate):
    x, _ = velk.read_wav(SAMPLES / "en_vm-deleted.wav", fs=rate)
    path = tmp_path / "wide.wav"
    velk.write_wav(path, x, rate)
    y, fs = velk.read_wav(path)
    assert fs == rate
    streams = [tmp_path / ("out." + s) for s in ("lf0", "cc", "fv")]
    lf0, cc, fv = encode_with_program(tmp_path, path, {})
    e = velk.encode(y, fs)
    assert (e.fs, e.lframe, e.cc.shape[1]) == (rate, {22050: 110, 48000: 240}[rate], 50)
    assert float32_bytes(e.lf0) == lf0 and float32_bytes(e.cc) == cc and float32_bytes(e.fv) == fv
    run(VELKDECODER, *streams, tmp_path / "out.wav", "--fs=%d" % rate, "--fpitch=1.2")
    wav = (tmp_path / "out.wav").read_bytes()
    read = [velk.read_params(streams[0]).lf0, velk.read_params(streams[1], order=49), velk.read_params(streams[2])]
    decoded = velk.decode(*read, fs=rate, fpitch=1.2)
    assert velk.to_int16(decoded).tobytes() == wav[44:]
    velk.write_wav(tmp_path / "mine.wav", decoded, rate)
    assert (tmp_path / "mine.wav").read_bytes() == wav
    # The set read by its record, and an encode result, carry their settings to decode.
    recorded = velk.read_params(streams[0])
    assert recorded.settings() == e.settings()
    assert velk.to_int16(velk.decode(recorded, fpitch=1.2)).tobytes() == wav[44:]
    rounded = velk.Encoded(*read, fs=e.fs, lframe=e.lframe)
    assert velk.to_int16(velk.decode(rounded, fpitch=1.2)).tobytes() == wav[44:]
