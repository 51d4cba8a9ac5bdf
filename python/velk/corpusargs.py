"""The command line of velkcorpus, shared by its commands (encode, decode, merge and features): the
run options on argparse, the --name=value words of the codec or the features, and the positional
words, with velkcorpus's own refusals in place of argparse's usage text and exit."""
import argparse
import re
from typing import Dict, List, NoReturn, Sequence, Tuple

from velk.corpusitems import Refusal
from velk.corpussettings import INTEGER

__all__ = ["RUN_FLAGS", "RUN_VALUES", "CommandLine", "read_command_line", "positive", "shard_of"]

RUN_FLAGS = ("--force", "--quiet")
RUN_VALUES = ("--jobs", "--shard", "--scheduler", "--every")
_MARK = "\0"


class _RefusingParser(argparse.ArgumentParser):
    """argparse raising a Refusal with the command's message instead of printing its usage."""

    def error(self, message: str) -> NoReturn:
        """A missing value as "--jobs: needs a value"; any other message as argparse words it."""
        match = re.match(r"argument (--[a-z]+): expected one argument\Z", message)
        raise Refusal(f"{match[1]}: needs a value" if match else message)


class CommandLine:
    """A velkcorpus command line taken apart: the positional words, the --name=value words left to
    the codec's or the features' own rules, and the run options (None or False when not given;
    the value of a valued option as its text)."""

    def __init__(self, positional: List[str], words: List[str], run: Dict[str, object]) -> None:
        self.positional, self.words, self.run = positional, words, run


def _run_option(word: str, flags: Sequence[str], valued: Sequence[str]) -> bool:
    """Whether the word is a run option for argparse: a flag as it stands, or a valued option
    (--jobs N, --jobs=N). Any other word starting with -- (--force=1 too) is a --name=value word."""
    return word in flags or word.partition("=")[0] in valued


def read_command_line(words: Sequence[str], flags: Sequence[str], valued: Sequence[str]) -> CommandLine:
    """Takes a command line apart in the order of its words. The run options `flags` and `valued`
    are read by argparse (a valued option takes the next word, whatever it is, or its text after
    '='; the last one given counts; Refusal "--jobs: needs a value" when it is the last word).
    Refusal "<word>: unknown option" for a word of one dash and more characters."""
    parser = _RefusingParser(prog="velkcorpus", add_help=False, allow_abbrev=False)
    for flag in flags:
        parser.add_argument(flag, action="store_true")
    for option in valued:
        parser.add_argument(option)
    options: List[str] = []
    positional: List[str] = []
    others: List[str] = []
    k = 0
    while k < len(words):
        word = words[k]
        if _run_option(word, flags, valued):
            # The value joined to its option behind a NUL (which no argument holds), so that argparse
            # takes any value as it stands: one that starts with '-', or is '--'.
            if word in valued and k + 1 < len(words):
                k += 1
                word = f"{word}={words[k]}"
            name, equals, value = word.partition("=")
            options.append(f"{name}={_MARK}{value}" if equals else word)
        elif word.startswith("--"):
            others.append(word)
        elif word.startswith("-") and len(word) > 1:
            raise Refusal(f"{word}: unknown option")
        else:
            positional.append(word)
        k += 1
    run = vars(parser.parse_args(options))
    given = {name[2:]: run[name[2:]] for name in (*valued, *flags)}
    for name in valued:
        if given[name[2:]] is not None:
            given[name[2:]] = given[name[2:]][len(_MARK):]
    return CommandLine(positional, others, given)


def positive(text: str, what: str) -> int:
    """The positive integer `text` of the option `what`; Refusal otherwise."""
    if not INTEGER.match(text) or int(text) < 1:
        raise Refusal(f"{what} {text}: not a positive integer")
    return int(text)


def shard_of(text: str) -> Tuple[int, int]:
    """(I, N) of the text I/N of --shard, 0 <= I < N; Refusal otherwise."""
    match = re.match(r"([0-9]+)/([0-9]+)\Z", text)
    if not match or not int(match[1]) < int(match[2]):
        raise Refusal(f"--shard {text}: not I/N with 0 <= I < N")
    return int(match[1]), int(match[2])

