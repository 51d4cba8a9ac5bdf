"""Builds the Python package velk for the interpreter that runs pip (pip install ., pip wheel .).

setuptools takes the Python modules of python/velk/; the compiled extension velk._velk is built
by this tree's CMake build (the target velk_python, without the tests) in build-python/cmake,
which later builds reuse, and copied into the package. The version is the project's, from
CMakeLists.txt. CMake, a C++ compiler, pybind11 and the libraries' development files come from
`scripts/install-deps --dev`.
"""
import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

TOP = pathlib.Path(__file__).resolve().parent
VERSION = re.search(r"project\(velk VERSION ([0-9.]+)", (TOP / "CMakeLists.txt").read_text()).group(1)


class CMakeExtension(build_ext):
    """Builds each extension as the CMake target of the same file name."""

    def build_extension(self, ext):
        build = TOP / "build-python" / "cmake"
        subprocess.run(["cmake", "-S", str(TOP), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                        "-DVELK_TESTS=OFF", "-DVELK_PYTHON=ON", f"-DPython3_EXECUTABLE={sys.executable}"],
                       check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
        subprocess.run(["cmake", "--build", str(build), "--target", "velk_python", "--parallel", jobs],
                       check=True)
        built = build / "python" / "velk" / pathlib.Path(self.get_ext_filename(ext.name)).name
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


# setuptools' working files (and pip's metadata) go beside the CMake build, out of the sources.
(TOP / "build-python").mkdir(exist_ok=True)
setup(
    version=VERSION,
    packages=["velk"],
    package_dir={"": "python"},
    ext_modules=[Extension("velk._velk", sources=[])],
    cmdclass={"build_ext": CMakeExtension},
    options={"build": {"build_base": "build-python"}, "egg_info": {"egg_base": "build-python"}},
)
