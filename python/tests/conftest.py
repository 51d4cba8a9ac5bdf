"""Shared set-up of the tests of the Python package velk.

CTest runs them with PYTHONPATH naming the build tree's package and with the paths of the programs
the module must agree with (VELKCODER, VELKDECODER, VELK_PITCH) and of the bundled samples
(VELK_SAMPLES_DIR). Run by hand, the programs are looked up in the build tree that holds the package.
"""
import os
import pathlib
import subprocess

import pytest

import velk

HERE = pathlib.Path(__file__).resolve().parent
BUILD = pathlib.Path(velk.__file__).resolve().parent.parent.parent  # <build>/python/velk/__init__.py
SAMPLES = pathlib.Path(os.environ.get("VELK_SAMPLES_DIR", HERE.parent.parent / "samples"))
SAMPLE_FILES = sorted(SAMPLES.glob("*.wav"))


def program(variable, relative):
    return pathlib.Path(os.environ.get(variable, BUILD / relative))


VELKCODER = program("VELKCODER", "bin/velkcoder/velkcoder")
VELKDECODER = program("VELKDECODER", "bin/velkdecoder/velkdecoder")
PITCH = program("VELK_PITCH", "bin/pitch/pitch")


def run(*args):
    """Runs a program, checks that it succeeded and returns its standard output."""
    done = subprocess.run([str(a) for a in args], capture_output=True, check=False)
    assert done.returncode == 0, (args, done.returncode, done.stdout, done.stderr)
    return done.stdout


@pytest.fixture(params=SAMPLE_FILES, ids=[p.stem for p in SAMPLE_FILES])
def sample(request):
    """Each bundled sample file in turn."""
    return request.param


@pytest.fixture(scope="module")
def speech():
    """The bundled sample en_vm-deleted on the +-1 scale."""
    return velk.read_wav(SAMPLES / "en_vm-deleted.wav")[0]


@pytest.fixture(scope="module")
def streams(speech):
    """The sample's streams with the encoder's defaults."""
    return velk.encode(speech, 16000)
