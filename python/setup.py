# SPDX-License-Identifier: BSD-2-Clause
"""Builds the g723 extension through the project's own CMake build: the
binding's modules in src/ with the codec, media and calls libraries that the
project's CMakeLists.txt files describe, so that the list of sources and the
compiler flags that keep the codec's bits equal on every platform live in one
place. soxr, libpcap and libsrtp2 are linked from the system, as the
project's build finds them."""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(__file__).resolve().parent


def project_root() -> Path:
    """The folder holding g723/g723.h: the parent of this one, or the one
    G723_SOURCE_DIR names when the package is built from a copy elsewhere."""
    for candidate in (os.environ.get("G723_SOURCE_DIR"), HERE.parent):
        if candidate and (Path(candidate) / "g723" / "g723.h").is_file():
            return Path(candidate).resolve()
    raise SystemExit(
        f"g723: cannot find the library's sources (g723/g723.h) around {HERE}; install from "
        "the project's root with 'pip install --no-build-isolation ./python', or set "
        "G723_SOURCE_DIR to the project's root")


def project_version(root: Path) -> str:
    """The release that the project's top-level CMakeLists.txt declares, the
    one version of the tool, the library's packages and this package."""
    match = re.search(r"project\(\s*g723\s+VERSION\s+([0-9]+\.[0-9]+\.[0-9]+)", (root / "CMakeLists.txt").read_text())
    if match is None:
        raise SystemExit(f"g723: no 'project(g723 VERSION ...)' in {root / 'CMakeLists.txt'}")
    return match.group(1)


def run(command: list) -> None:
    try:
        subprocess.run(command, check=True)
    except FileNotFoundError:
        raise SystemExit(f"g723: {command[0]} not found; install cmake") from None
    except subprocess.CalledProcessError as error:
        raise SystemExit(f"g723: '{' '.join(command[:3])} ...' failed with status {error.returncode}") from None


class cmake_build(build_ext):
    """Configures the project with only the extension and the libraries
    beneath it switched on, builds its target and puts the module where
    setuptools expects it."""

    def build_extension(self, ext):
        import pybind11

        root = project_root()
        tree = Path(self.build_temp).resolve() / "cmake"
        destination = Path(self.get_ext_fullpath(ext.name)).resolve()
        # The preset python of the project's CMakePresets.json: the
        # extension and the libraries beneath it, the codec linked in.
        run(["cmake", "-S", str(root), "--preset", "python", "-B", str(tree),
             f"-Dpybind11_DIR={pybind11.get_cmake_dir()}", f"-DPYTHON_EXECUTABLE={sys.executable}",
             f"-DG723_PYTHON_OUTPUT_DIR={tree / 'module'}"])
        jobs = os.environ.get("G723_BUILD_JOBS", "2")
        run(["cmake", "--build", str(tree), "--target", "g723_python", "-j", jobs])
        built = sorted((tree / "module").glob("_g723*"))
        if len(built) != 1:
            raise SystemExit(f"g723: the build left {len(built)} modules in {tree / 'module'}")
        destination.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], destination)


setup(version=project_version(project_root()), ext_modules=[Extension("g723._g723", sources=[])],
      cmdclass={"build_ext": cmake_build})
