"""Reentrancy: threads give the serial results, and the GIL is free while the library computes."""
import subprocess
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np

import velk
from conftest import SAMPLE_FILES


def signals():
    return [velk.read_wav(p)[0] for p in SAMPLE_FILES]


def as_bytes(result):
    return b"".join(a.tobytes() for a in result if a is not None)


def both_ways(function, inputs):
    serial = [as_bytes(function(x)) for x in inputs]
    with ThreadPoolExecutor(2) as pool:
        threaded = [as_bytes(r) for r in pool.map(function, inputs * 2)]
    return serial, threaded


def test_threads_encode_and_decode_as_serial_runs():
    def copy_synthesis(x):
        e = velk.encode(x, 16000, f0acc=1)
        return (*e, velk.decode(e.lf0, e.cc, e.fv, fpitch=1.1, fdur=0.9))

    serial, threaded = both_ways(copy_synthesis, signals())
    assert threaded == serial * 2


def test_threads_track_pitch_as_serial_runs():
    for algorithm in ("dp", "epoch"):
        serial, threaded = both_ways(lambda x: (velk.pitch(x, 16000, algorithm=algorithm),), signals())
        assert threaded == serial * 2, algorithm


def test_other_threads_run_python_while_encode_computes():
    x = np.tile(signals()[0], 8)  # about 11 s of speech
    span = {}

    def encode():
        span["start"] = time.perf_counter()
        velk.encode(x, 16000)
        span["end"] = time.perf_counter()

    stamps = []
    worker = threading.Thread(target=encode)
    worker.start()
    while worker.is_alive():
        stamps.append(time.perf_counter())
    worker.join()
    start, end = span["start"], span["end"]
    middle = [t for t in stamps if start + 0.1 * (end - start) < t < end - 0.1 * (end - start)]
    # Holding the GIL, encode would leave the loop above no turn between its first and last
    # tenth; released, the loop runs throughout.
    assert len(middle) > 100, (len(middle), end - start)


def test_threads_may_make_the_first_calls_of_a_process():
    code = (
        "import sys, velk\n"
        "from concurrent.futures import ThreadPoolExecutor\n"
        "def frames(path):\n"
        "    return len(velk.encode(velk.read_wav(path)[0]).lf0)\n"
        "with ThreadPoolExecutor(2) as pool:\n"
        "    print(sum(pool.map(frames, sys.argv[1:] * 2)))\n"
    )
    done = subprocess.run([sys.executable, "-c", code, *map(str, SAMPLE_FILES)], capture_output=True, timeout=60,
                          check=False)
    assert done.returncode == 0, done.stderr
    assert int(done.stdout) == 2 * sum(len(velk.encode(velk.read_wav(p)[0]).lf0) for p in SAMPLE_FILES)
