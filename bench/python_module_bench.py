#!/usr/bin/env python3
"""Speed of the Python module velk against the programs, and its speed-up from threads.

usage: python_module_bench.py BUILD_DIR

1. Encoding the 60 s benchmark signal (the bundled samples joined until 60 s are reached, as the
   vocoder benchmarks build it) through Python, read_wav + encode + write_params of the three
   streams, against velkcoder on the same file writing the same three files: CPU time, best of
   five runs each. The overhead of the module should be well under 5 %.
2. A corpus of 40 signals of 3 s (cut from the benchmark signal at different offsets) encoded
   and decoded with concurrent.futures.ThreadPoolExecutor(2) against one thread: wall-clock
   time, best of three runs each; the speed-up should be at least 1.8 on two free cores. The
   load average is printed beside it, since other work on the machine takes cores away.
The threaded results are checked to be byte-identical to the serial ones.
"""
import os
import pathlib
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

HERE = pathlib.Path(__file__).resolve().parent
TOP = HERE.parent
sys.path.insert(0, str(HERE))
import cputime  # noqa: E402
RUNS = 5


def load():
    return "load average %.2f %.2f %.2f" % os.getloadavg()


def overhead(velk, coder, tmp):
    wav = tmp / "long.wav"
    subprocess.run([sys.executable, HERE / "make_long_wav.py", wav, "60", *sorted((TOP / "samples").glob("*.wav"))],
                   check=True)
    seconds = (wav.stat().st_size - 44) / 32000
    outputs = [tmp / ("program." + s) for s in ("lf0", "cc", "fv")]
    program = cputime.best_program_cpu([coder, wav, *outputs], RUNS)

    def through_python():
        x, fs = velk.read_wav(wav)
        e = velk.encode(x, fs)
        for stream in ("lf0", "cc", "fv"):
            velk.write_params(tmp / ("python." + stream), getattr(e, stream))

    python = cputime.best_python_cpu(through_python, RUNS)
    for stream in ("lf0", "cc", "fv"):
        if (tmp / ("python." + stream)).read_bytes() != (tmp / ("program." + stream)).read_bytes():
            sys.exit("python_module_bench: the %s stream differs from velkcoder's" % stream)
    print("encode %.2f s of speech: velkcoder CPU %.3f s, Python (read_wav + encode + write_params) CPU %.3f s, "
          "overhead %+.1f %% (well under 5 %% expected); %s" % (seconds, program, python,
                                                              100 * (python / program - 1), load()))
    return wav


def speedup(velk, wav):
    x, fs = velk.read_wav(wav)
    piece, step = 3 * fs, len(x) // 40
    corpus = [x[k * step:k * step + piece] for k in range(40)]

    def copy_synthesis(signal):
        e = velk.encode(signal, fs)
        return b"".join(a.tobytes() for a in e) + velk.decode(e.lf0, e.cc, e.fv).tobytes()

    def timed(workers):
        with ThreadPoolExecutor(workers) as pool:
            started, cpu = time.perf_counter(), own_cpu()
            results = list(pool.map(copy_synthesis, corpus))
            return time.perf_counter() - started, own_cpu() - cpu, results

    best = {1: None, 2: None}
    reference = None
    for _ in range(3):
        for workers in (1, 2):
            wall, cpu, results = timed(workers)
            if reference is None:
                reference = results
            elif results != reference:
                sys.exit("python_module_bench: threaded results differ from serial ones")
            if best[workers] is None or wall < best[workers][0]:
                best[workers] = (wall, cpu)
    (wall1, cpu1), (wall2, cpu2) = best[1], best[2]
    # CPU over wall time tells how many cores the run had on average: at most 1 for one thread,
    # up to 2 for two when the GIL is free and no other work competes for the cores.
    print("corpus of 40 signals of 3 s, encode + decode: one thread %.2f s (CPU/wall %.2f), ThreadPoolExecutor(2) "
          "%.2f s (CPU/wall %.2f), speed-up %.2fx (at least 1.8x expected on two free cores); results identical; "
          "%d cores, %s" % (wall1, cpu1 / wall1, wall2, cpu2 / wall2, wall1 / wall2, os.cpu_count(), load()))


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: python_module_bench.py BUILD_DIR")
    build = pathlib.Path(sys.argv[1]).resolve()
    sys.path.insert(0, str(build / "python"))
    try:
        import velk
    except ImportError as error:
        print("python_module_bench: skipped, the module velk is not built in %s (%s)" % (build, error))
        return
    with tempfile.TemporaryDirectory() as tmp:
        wav = overhead(velk, build / "bin" / "velkcoder" / "velkcoder", pathlib.Path(tmp))
        speedup(velk, wav)


if __name__ == "__main__":
    main()
