"""velkcorpus items read their files in blocks: a plain sound file is analysed in pieces and a
recorded set synthesised block by block, with the bytes of the whole-signal paths and of the
programs, converted files included; files resampled on the way or options that name the
record's settings take the whole path."""
import shutil
import warnings

import numpy as np

import velk
from conftest import SAMPLES
from corpus_support import corpus_command, velkcoder_streams, velkdecoder_wav, write_stereo_22k


def test_items_in_blocks_give_the_programs_bytes(tmp_path):
    src = tmp_path / "src"
    src.mkdir()
    for name in ("en_vm-deleted.wav", "wide/alsa48k_Front_Left.wav"):
        shutil.copyfile(SAMPLES / name, src / name.split("/")[-1])
    out, wavs = tmp_path / "out", tmp_path / "wavs"
    assert corpus_command("encode", src, out, "--f0acc=2").returncode == 0
    options = ["--fdrc=0.5", "--fvpitch=0.5", "--wavnorm=1"]  # survey passes and a normalising pass
    assert corpus_command("decode", out, wavs, *options).returncode == 0
    for path in src.iterdir():
        name = path.stem
        streams = [(out / f"{name}.{s}").read_bytes() for s in ("lf0", "cc", "fv")]
        assert streams == velkcoder_streams(path, tmp_path, {"f0acc": 2}), name
        wav = velkdecoder_wav(out / name, tmp_path, {"fdrc": 0.5, "fvpitch": 0.5, "wavnorm": 1})
        assert (wavs / f"{name}.wav").read_bytes() == wav, name


def test_the_block_paths_decline_what_the_whole_paths_must_do(tmp_path):
    x, fs = velk.read_wav(SAMPLES / "it_vm-goodbye.wav")
    loud = tmp_path / "loud.wav"
    velk.write_wav(loud, x, fs)
    assert velk._velk.encode_file(str(loud), str(tmp_path / "a.cc"), 22050) is None  # resampled on the way
    e, samples, fullscale = velk._velk.encode_file(str(loud), str(tmp_path / "a.cc"))
    assert samples == len(x) and fullscale == int(np.count_nonzero(np.abs(x) >= 32767 / 32768))
    assert len(e.lf0) == len(velk.encode(x, fs).lf0) and e.cc.shape == (0, 40)
    velk.write_params(tmp_path / "s.lf0", velk.encode(x, fs))
    out = str(tmp_path / "o.wav")
    assert velk._velk.decode_set_file(str(tmp_path / "s.lf0"), out, lframe=100) is None
    assert velk._velk.decode_set_file(str(tmp_path / "s.lf0"), out, fs=22050) is None
    frames, n, clipped, rate = velk._velk.decode_set_file(str(tmp_path / "s.lf0"), out, fpitch=1.3)
    y = velk.decode(velk.read_params(tmp_path / "s.lf0"), fpitch=1.3)
    assert (frames, n, rate) == (len(e.lf0), len(y), fs)
    assert velk.read_wav(out)[0].tobytes() == (velk.to_int16(y) / 32768).tobytes()


def test_a_converted_file_is_analysed_in_pieces_with_read_wavs_warning(tmp_path):
    path = tmp_path / "stereo.wav"
    write_stereo_22k(path, SAMPLES / "it_vm-goodbye.wav")
    with warnings.catch_warnings(record=True) as pieces:
        warnings.simplefilter("always")
        e, samples, _ = velk._velk.encode_file(str(path), str(tmp_path / "a.cc"))
    with warnings.catch_warnings(record=True) as whole_read:
        warnings.simplefilter("always")
        x, fs = velk.read_wav(path)
        whole = velk.encode(x, fs)
    assert [str(w.message) for w in pieces] == [str(w.message) for w in whole_read]
    assert "22050 Hz, 2 channels, 16-bit read as 22.05 kHz mono." in str(pieces[0].message)
    assert samples == len(x) and e.fs == fs == 22050
    assert e.lf0.tobytes() == whole.lf0.tobytes() and e.fv.tobytes() == whole.fv.tobytes()
    cc = np.fromfile(tmp_path / "a.cc", dtype="<f4")
    assert cc.tobytes() == whole.cc.astype("<f4").tobytes()
