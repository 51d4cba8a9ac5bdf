"""velkcorpus's command line, word by word: what each kind of word becomes, and the refusal of each
kind of mistake, for the codec commands and for features."""
import pytest

from velk import corpuscommand, featurecorpus
from velk.corpus import Refusal


def refusal(parse, words):
    with pytest.raises(Refusal) as caught:
        parse(words)
    return str(caught.value)


def test_run_options_codec_words_and_positional_words_in_any_order():
    command, positional, options, run = corpuscommand.parse_command_line(
        ["encode", "--jobs", "2", "src", "--CCORD=20", "-", "--shard=1/3", "--quiet", "--every", "5", "--jobs=4"])
    assert (command, positional, options) == ("encode", ["src", "-"], {"ccord": 20})
    assert run == {"force": False, "quiet": True, "scheduler": None, "jobs": 4, "shard": (1, 3), "every": 5}
    # a value is the next word whatever it starts with
    run = corpuscommand.parse_command_line(["decode", "a", "b", "--scheduler", "--force"])[3]
    assert run["scheduler"] == "--force" and run["force"] is False
    positional, settings, run = featurecorpus.parse_command_line(["--hop=10ms", "src", "out", "--force", "--shard", "0/2"])
    assert positional == ["src", "out"] and settings["hop"] == ("ms", 10.0)
    assert run == {"jobs": None, "shard": (0, 2), "scheduler": None, "force": True, "quiet": False}


@pytest.mark.parametrize("words, message", [
    (["encode", "a", "b", "--jobs"], "--jobs: needs a value"),
    (["encode", "a", "-Q", "b", "--jobs"], "-Q: unknown option"),
    (["encode", "a", "b", "--jobs", "-1"], "--jobs -1: not a positive integer"),
    (["encode", "a", "b", "--jobs="], "--jobs : not a positive integer"),
    (["encode", "a", "b", "--every", "0"], "--every 0: not a positive integer"),
    (["encode", "a", "b", "--shard", "--"], "--shard --: not I/N with 0 <= I < N"),
    (["encode", "a", "b", "--shard=2/2"], "--shard 2/2: not I/N with 0 <= I < N"),
    (["encode", "a", "b", "--force=1"], "--force=1: unknown option"),
    (["encode", "a", "b", "--jo", "2"], "encode takes SRC OUTDIR"),
    (["encode", "a", "b", "--jo=2"], "--jo=2: unknown option"),
    (["encode", "a", "b", "--ccord=1", "--ccord=2"], "--ccord=2: given twice"),
    (["decode", "a", "b", "--ccord=20"], "--ccord=20: unknown option"),
    (["nosuch", "a", "b", "--jobs", "0"], "nosuch: not a command (encode, decode or merge)"),
    (["merge", "a", "--quiet"], "merge takes no options"),
    (["merge", "a", "b"], "merge takes OUTDIR"),
])
def test_codec_command_refusals(words, message):
    assert refusal(corpuscommand.parse_command_line, words) == message


@pytest.mark.parametrize("words, message", [
    (["src", "out", "--shard"], "--shard: needs a value"),
    (["src", "out", "--every", "5"], "features takes SRC OUTDIR"),
    (["src", "out", "--every=5"], "--every=5: unknown option"),
    (["src", "out", "--jobs", "x"], "--jobs x: not a positive integer"),
    (["src", "-x", "out"], "-x: unknown option"),
    (["src", "out", "--center", "--no-center"], "--center and --no-center: give one"),
])
def test_features_refusals(words, message):
    assert refusal(featurecorpus.parse_command_line, words) == message
