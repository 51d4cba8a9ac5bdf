"""CPU time of the benchmarks: of child programs and of this process, best of a number of runs."""
import resource
import subprocess


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def own_cpu():
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime


def best_program_cpu(args, runs):
    """The least CPU time of `runs` runs of the program args (its output discarded)."""
    best = None
    for _ in range(runs):
        before = children_cpu()
        subprocess.run([str(a) for a in args], check=True, stdout=subprocess.DEVNULL)
        spent = children_cpu() - before
        best = spent if best is None else min(best, spent)
    return best


def best_python_cpu(work, runs):
    """The least CPU time of `runs` calls of work() in this process."""
    best = None
    for _ in range(runs):
        before = own_cpu()
        work()
        spent = own_cpu() - before
        best = spent if best is None else min(best, spent)
    return best
