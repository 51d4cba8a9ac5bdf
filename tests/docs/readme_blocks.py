"""Runs the README's runnable command blocks once, in a temporary copy of the source tree.

A block is runnable when the line `<!-- run -->` (shell, run with bash -e) or
`<!-- run: python -->` (run by the interpreter given, with PYTHONPATH naming the package) stands
right before it, a blank line between; the first set-up command, marked `<!-- setup -->`, is
run from its first step after the build (its own build is the given one). Blocks run in README
order from the top of the copy, in which `build` leads to the given build tree; a block that
fails ends the test with its output.

    readme_blocks.py SOURCE BUILD WORK [--python PYTHON] [--pythonpath DIR] [--venv] [--list]

With --venv the copy is installed with pip into a new virtual environment instead (pip wheel
first, then pip install, both without a package index), and only the Python blocks are run, by
that environment's interpreter without PYTHONPATH.
"""
import argparse
import os
import pathlib
import re
import shutil
import subprocess
import sys

MARK = re.compile(r"^<!-- (run|run: python|setup) -->$")
BUILD_STEP = "cmake --build build -j2 && "


def blocks(readme):
    """(kind, text, line) of every marked block: a ``` fenced block, or the indented lines up to
    the next blank line."""
    lines = readme.split("\n")
    found = []
    for k, line in enumerate(lines):
        mark = MARK.match(line)
        if not mark:
            continue
        start = k + 1
        while start < len(lines) and lines[start] == "":
            start += 1
        body = []
        if lines[start].startswith("```"):
            end = start + 1
            while not lines[end].startswith("```"):
                body.append(lines[end])
                end += 1
        else:
            end = start
            while end < len(lines) and lines[end].startswith("    "):
                body.append(lines[end][4:])
                end += 1
        found.append((mark.group(1), "\n".join(body).strip("\n") + "\n", start + 1))
    return found


def copytree(source, target):
    """The source tree without its build trees, outputs and repository."""

    def ignored(directory, names):
        top = pathlib.Path(directory) == source
        return [n for n in names if n == "__pycache__" or (top and (n.startswith("build") or n in ("out", ".git")))]

    shutil.copytree(source, target, ignore=ignored, symlinks=True)


def install_in_venv(tree, work):
    """The interpreter of a new virtual environment (system site packages, so Debian's numpy)
    into which pip installed the copy, after making a wheel of it: Debian's pip, setuptools and
    wheel, no package index."""
    venv = work / "venv"
    run(["/usr/bin/python3", "-m", "venv", "--system-site-packages", str(venv)], tree)
    pip = [str(venv / "bin" / "pip"), "--disable-pip-version-check", "--no-input"]
    run(pip + ["wheel", "--no-build-isolation", "--no-index", "--no-deps", "-w", str(work / "wheels"), "."], tree)
    if not list((work / "wheels").glob("velk-*.whl")):
        raise RuntimeError("pip wheel made no velk wheel")
    run(pip + ["install", "--no-build-isolation", "--no-index", "."], tree)
    # The corpus runner is installed as a console command of the environment.
    run([str(venv / "bin" / "velkcorpus"), "--version"], tree)
    return venv / "bin" / "python"


def run(command, cwd):
    done = subprocess.run(command, cwd=cwd, capture_output=True)
    if done.returncode != 0:
        raise RuntimeError(f"{command} failed with status {done.returncode}:\n"
                           f"{done.stdout.decode(errors='replace')}{done.stderr.decode(errors='replace')}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("source", type=pathlib.Path)
    parser.add_argument("build", type=pathlib.Path)
    parser.add_argument("work", type=pathlib.Path)
    parser.add_argument("--python", default="/usr/bin/python3")
    parser.add_argument("--pythonpath", default="build/python")
    parser.add_argument("--venv", action="store_true",
                        help="pip install the copy into a virtual environment and run the Python blocks there")
    parser.add_argument("--list", action="store_true", help="print the blocks instead of running them")
    args = parser.parse_args()
    found = blocks((args.source / "README.md").read_text())
    if args.list:
        for kind, text, line in found:
            print(f"--- line {line} ({kind})\n{text}")
        return 0
    if not any(kind == "setup" for kind, _, _ in found):
        print("README.md: the first set-up command is not marked <!-- setup -->")
        return 1
    tree = args.work / "tree"
    shutil.rmtree(args.work, ignore_errors=True)
    args.work.mkdir(parents=True)
    copytree(args.source, tree)
    (tree / "build").symlink_to(args.build.resolve())
    environment = dict(os.environ, PYTHONPATH=args.pythonpath)
    if args.venv:
        args.python = str(install_in_venv(tree, args.work))
        environment.pop("PYTHONPATH")
        found = [block for block in found if block[0] == "run: python"]
    for kind, text, line in found:
        if kind == "setup":
            if BUILD_STEP not in text:
                print(f"README.md:{line}: the set-up command has no build step '{BUILD_STEP.strip()}'")
                return 1
            text = text[text.index(BUILD_STEP) + len(BUILD_STEP):]
        command = [args.python, "-"] if kind == "run: python" else ["bash", "-e", "-o", "pipefail", "-"]
        done = subprocess.run(command, input=text.encode(), cwd=tree, env=environment, capture_output=True,
                              timeout=600)
        if done.returncode != 0:
            print(f"README.md:{line}: block failed with status {done.returncode}:\n{text}")
            print(done.stdout.decode(errors="replace"), done.stderr.decode(errors="replace"))
            return 1
        print(f"README.md:{line}: {kind} block ran")
    return 0


if __name__ == "__main__":
    sys.exit(main())
