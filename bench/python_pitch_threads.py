#!/usr/bin/env python3
"""Speed-up of velk.pitch from threads: two signals tracked side by side against one after the other.

usage: python_pitch_threads.py BUILD_DIR

Two different signals of 30 s (the bundled samples joined, as the vocoder benchmarks build them,
and cut at two offsets) are tracked by the dynamic-programming tracker, once one after the other
in one thread and once in two threads of a ThreadPoolExecutor(2): wall-clock time, best of five
runs each. Each analysis owns its state and the GIL is free while it runs, so the speed-up should
be at least 1.8 on two free cores. The threaded tracks are checked to be identical to the serial
ones. The load average is printed beside the result, since other work takes cores away.
"""
import os
import pathlib
import resource
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

HERE = pathlib.Path(__file__).resolve().parent
TOP = HERE.parent
RUNS = 5
SECONDS = 30


def own_cpu():
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime


def signals(velk, tmp):
    wav = tmp / "long.wav"
    subprocess.run([sys.executable, HERE / "make_long_wav.py", wav, str(2 * SECONDS + 7),
                    *sorted((TOP / "samples").glob("*.wav"))], check=True)
    x, fs = velk.read_wav(wav)
    n = SECONDS * fs
    return [x[:n], x[7 * fs:7 * fs + n]], fs


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: python_pitch_threads.py BUILD_DIR")
    sys.path.insert(0, str(pathlib.Path(sys.argv[1]).resolve() / "python"))
    try:
        import velk
    except ImportError as error:
        print("python_pitch_threads: skipped, the module velk is not built (%s)" % error)
        return
    with tempfile.TemporaryDirectory() as tmp:
        inputs, fs = signals(velk, pathlib.Path(tmp))

    spans = []

    def track(x):
        started = time.perf_counter()
        result = velk.pitch(x, fs).tobytes()
        spans.append((started, time.perf_counter()))
        return result

    serial_tracks = [track(x) for x in inputs]
    if serial_tracks[0] == serial_tracks[1]:
        sys.exit("python_pitch_threads: the two signals give the same track")
    def run(workers):
        """Wall-clock and CPU time of tracking both signals with that many threads."""
        with ThreadPoolExecutor(workers) as pool:
            started, cpu = time.perf_counter(), own_cpu()
            tracks = list(pool.map(track, inputs))
            spent = (time.perf_counter() - started, own_cpu() - cpu)
        if tracks != serial_tracks:
            sys.exit("python_pitch_threads: threaded tracks differ from serial ones")
        return spent

    def waiting():
        """The longer of the two threaded calls over the shorter: near 1 when they run side by
        side, near 2 when one waits for the other to end (as behind a lock)."""
        spans.clear()
        run(2)
        a, b = (end - start for start, end in spans)
        return max(a, b) / min(a, b)

    runs = [(run(1), run(2)) for _ in range(RUNS)]
    lengths = min(waiting() for _ in range(RUNS))
    wall1, cpu1 = min(one for one, _ in runs)
    wall2, cpu2 = min(two for _, two in runs)
    # CPU over wall time tells how many cores a run had on average: at most 1 for one thread, up
    # to 2 for two when the tracker runs in both at once and no other work competes for the cores.
    # The lengths of the two threaded calls tell whether they run at the same time at all,
    # whatever the load: behind a lock the later one would take about twice the earlier one.
    print("velk.pitch on two signals of %d s: one thread %.3f s (CPU/wall %.2f), two threads %.3f s (CPU/wall %.2f), "
          "speed-up %.2fx (at least 1.8x expected on two free cores), longer threaded call %.2f times the shorter; "
          "tracks identical; %d cores, load average %.2f %.2f %.2f"
          % (SECONDS, wall1, cpu1 / wall1, wall2, cpu2 / wall2, wall1 / wall2, lengths, os.cpu_count(),
             *os.getloadavg()))


if __name__ == "__main__":
    main()
