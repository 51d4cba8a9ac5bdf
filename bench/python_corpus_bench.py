#!/usr/bin/env python3
"""velkcorpus on a corpus of ordinary names: threads, overhead over velkcoder, memory, reruns.

usage: python_corpus_bench.py BUILD_DIR

1. A corpus of 48 files of 3 s (cut from the 60 s benchmark signal at different offsets, in four
   speaker folders with spaces in the names) encoded by `velkcorpus encode` with --jobs 1 and
   --jobs 2: wall time, best of two runs each; two threads should take at most 1/1.8 of one
   thread's time on two free cores (the load average is printed beside it).
2. The CPU time of the --jobs 1 run against velkcoder run once per file on the same files (the
   outputs are checked to be the same bytes). The overhead per item, over velkcoder's own work,
   should be at most 3 %; it is given with and without the interpreter's start-up, measured as
   the CPU time of a rerun that finds every item done.
3. A rerun over the finished corpus (every item skipped) against the first run: under 2 % of its
   wall time expected once the corpus outweighs the interpreter's start-up (importing numpy,
   a few tenths of a second); the reruns of step 4 show the cost per item.
4. Peak memory (maximum resident set) of runs over 100 and over 1000 short files: flat in the
   number of items, up to the item list itself.
5. The share of an item's time spent outside the extension's calls (which release the GIL),
   profiled over the 48 items: what two threads cannot overlap, so that a share f bounds the
   speed-up of two threads at 1 / (f + (1 - f) / 2), whatever else the machine runs (profiling
   makes f larger than it is).
"""
import os
import pathlib
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
TOP = HERE.parent


def load():
    return "load average %.2f %.2f %.2f" % os.getloadavg()


def measured(args):
    """Wall time, CPU time and peak resident memory (MiB) of a child process."""
    started = time.perf_counter()
    child = subprocess.Popen([str(a) for a in args], stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - started
    if status != 0:
        sys.exit("python_corpus_bench: %s failed (status %d)" % (args, status))
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024


def corpus_run(*args):
    return measured([sys.executable, "-m", "velk.corpus", *args, "--quiet"])


def make_corpus(velk, root, long_wav):
    x, fs = velk.read_wav(long_wav)
    piece, step = 3 * fs, (len(x) - 3 * fs) // 47
    files = []
    for k in range(48):
        path = root / ("speaker %d" % (k % 4)) / ("utterance %02d.wav" % k)
        path.parent.mkdir(parents=True, exist_ok=True)
        velk.write_wav(path, x[k * step:k * step + piece], 16000)
        files.append(path)
    return files


def threads_and_overhead(coder, src, files, tmp):
    best = {}
    for attempt in range(2):
        for jobs in (1, 2):
            out = tmp / ("out-%d-%d" % (jobs, attempt))
            wall, cpu, _ = corpus_run("encode", src, out, "--jobs", jobs)
            if jobs not in best or wall < best[jobs][0]:
                best[jobs] = (wall, cpu, out)
    coder_cpu = 0.0
    for path in files:
        outputs = [tmp / ("program." + s) for s in ("lf0", "cc", "fv")]
        coder_cpu += measured([coder, path, *outputs])[1]
        name = os.path.splitext(os.path.relpath(path, src))[0]
        for stream, program in zip(("lf0", "cc", "fv"), outputs):
            if (best[1][2] / (name + "." + stream)).read_bytes() != program.read_bytes():
                sys.exit("python_corpus_bench: %s.%s differs from velkcoder's" % (name, stream))
    rerun_wall, rerun_cpu, _ = corpus_run("encode", src, best[1][2])
    (wall1, cpu1, _), (wall2, cpu2, _) = best[1], best[2]
    print("48 files of 3 s: --jobs 1 %.2f s (CPU/wall %.2f), --jobs 2 %.2f s (CPU/wall %.2f), speed-up %.2fx "
          "(at least 1.8x expected on two free cores); %d cores, %s"
          % (wall1, cpu1 / wall1, wall2, cpu2 / wall2, wall1 / wall2, os.cpu_count(), load()))
    print("CPU: velkcoder per file, 48 runs, %.2f s; velkcorpus --jobs 1 %.2f s: %+.1f %% with the interpreter's "
          "start-up, %+.1f %% per item without it (start-up and listing %.2f s; at most 3 %% expected)"
          % (coder_cpu, cpu1, 100 * (cpu1 / coder_cpu - 1), 100 * ((cpu1 - rerun_cpu) / coder_cpu - 1), rerun_cpu))
    print("rerun over the finished corpus: %.3f s, %.2f %% of the first run's %.2f s (under 2 %% expected); CPU "
          "%.2f s, %.1f %% of the first run's" % (rerun_wall, 100 * rerun_wall / wall1, wall1, rerun_cpu,
                                                   100 * rerun_cpu / cpu1))


def memory(velk, tmp):
    import numpy as np

    one = tmp / "short.wav"
    velk.write_wav(one, np.sin(np.arange(4000) * 0.05) * 0.3 + np.sin(np.arange(4000) * 0.31) * 0.1, 16000)
    peaks = []
    for count in (100, 1000):
        src = tmp / ("short-%d" % count)
        for k in range(count):
            path = src / ("group %d" % (k % 10)) / ("item %04d.wav" % k)
            path.parent.mkdir(parents=True, exist_ok=True)
            os.link(one, path)
        wall, _, peak = corpus_run("encode", src, tmp / ("short-out-%d" % count), "--jobs", 2)
        rerun = corpus_run("encode", src, tmp / ("short-out-%d" % count))[0]
        peaks.append((count, peak, wall, rerun, 100 * rerun / wall))
    print("peak memory: " + ", ".join("%d items %.0f MiB (%.1f s, rerun %.2f s = %.1f %%)" % p for p in peaks)
          + " (flat in the number of items expected)")


def serial_share(src, files, tmp):
    import cProfile
    import pstats

    from velk import corpus

    profile = cProfile.Profile()
    profile.enable()
    for path in files:
        base = str(tmp / "profiled" / os.path.splitext(os.path.relpath(path, src))[0])
        corpus.encode_item((str(path), base, {}, None))
    profile.disable()
    stats = pstats.Stats(profile).stats
    total = sum(entry[2] for entry in stats.values())
    released = sum(entry[2] for key, entry in stats.items()
                   if key[0] == "~" and any(name in key[2] for name in ("read_wav", "encode", "write_params")))
    share = (total - released) / total
    print("time outside the extension's calls: %.1f %% of %.2f s over 48 items (profiled), bounding two threads at "
          "%.2fx" % (100 * share, total, 1 / (share + (1 - share) / 2)))


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: python_corpus_bench.py BUILD_DIR")
    build = pathlib.Path(sys.argv[1]).resolve()
    # a PYTHONPATH of the caller's comes first, then the build tree's package
    paths = [p for p in (os.environ.get("PYTHONPATH"), str(build / "python")) if p]
    os.environ["PYTHONPATH"] = os.pathsep.join(paths)
    sys.path[1:1] = os.pathsep.join(paths).split(os.pathsep)
    try:
        import velk
        import velk.corpus  # noqa: F401
    except ImportError as error:
        print("python_corpus_bench: skipped, the package velk is not built in %s (%s)" % (build, error))
        return
    with tempfile.TemporaryDirectory() as name:
        tmp = pathlib.Path(name)
        long_wav = tmp / "long.wav"
        subprocess.run([sys.executable, HERE / "make_long_wav.py", long_wav, "60",
                        *sorted((TOP / "samples").glob("*.wav"))], check=True)
        src = tmp / "corpus"
        files = make_corpus(velk, src, long_wav)
        threads_and_overhead(build / "bin" / "velkcoder" / "velkcoder", src, files, tmp)
        serial_share(src, files, tmp)
        memory(velk, tmp)


if __name__ == "__main__":
    main()
