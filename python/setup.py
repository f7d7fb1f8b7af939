# SPDX-License-Identifier: BSD-2-Clause
"""Builds the g723 extension: the binding's modules in src/, the codec
library's sources and the calls library's (captures, RTP, SDP), found in the
project around this folder, compiled into one module, with soxr, libpcap and
libsrtp2 linked from the system (pkg-config soxr libpcap libsrtp2)."""

import os
import re
import shlex
import subprocess
from pathlib import Path

from pybind11.setup_helpers import ParallelCompile, Pybind11Extension
from setuptools import setup
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


# The system libraries the module links, and the Debian package of each.
SYSTEM_LIBRARIES = {"soxr": "libsoxr-dev", "libpcap": "libpcap-dev", "libsrtp2": "libsrtp2-dev"}


def pkg_config_flags(option: str) -> list:
    """pkg-config's flags for the system libraries."""
    flags = []
    for name, package in SYSTEM_LIBRARIES.items():
        try:
            result = subprocess.run(["pkg-config", option, name], check=True, capture_output=True, text=True)
        except (OSError, subprocess.CalledProcessError) as error:
            raise SystemExit(f"g723: pkg-config cannot find {name} ({error}); install {package}") from None
        flags += shlex.split(result.stdout)
    return flags


def project_version(root: Path) -> str:
    """The release that the project's top-level CMakeLists.txt declares, the
    one version of the tool, the library's packages and this package."""
    match = re.search(r"project\(\s*g723\s+VERSION\s+([0-9]+\.[0-9]+\.[0-9]+)", (root / "CMakeLists.txt").read_text())
    if match is None:
        raise SystemExit(f"g723: no 'project(g723 VERSION ...)' in {root / 'CMakeLists.txt'}")
    return match.group(1)


root = project_root()
version = project_version(root)
# Every library source at any depth, so that moving modules between the
# library's folders needs no change here. setuptools takes only paths
# relative to this folder.
library_sources = sorted(os.path.relpath(path, HERE)
                         for folder in ("g723", "media", "rtp") for path in root.glob(f"{folder}/**/*.cpp"))
binding_sources = sorted(os.path.relpath(path, HERE) for path in (HERE / "src").glob("*.cpp"))
cflags = pkg_config_flags("--cflags")
libs = pkg_config_flags("--libs")

extension = Pybind11Extension(
    "g723._g723",
    binding_sources + library_sources,
    include_dirs=[str(root)] + [flag[2:] for flag in cflags if flag.startswith("-I")],
    library_dirs=[flag[2:] for flag in libs if flag.startswith("-L")],
    libraries=[flag[2:] for flag in libs if flag.startswith("-l")],
    cxx_std=20,
    define_macros=[("G723_VERSION", f'"{version}"')],
    # The codec's arithmetic is exact and target-independent: no contraction
    # into fused multiply-adds, never fast-math. Only the module's entry
    # point leaves the shared object; the g723_ calls stay inside it.
    extra_compile_args=["-O3", "-fno-wrapv", "-fno-stack-protector", "-ffp-contract=off", "-fvisibility=hidden", "-Wall", "-Wextra",
                        "-Wpedantic"],
)



class build_every_time(build_ext):
    """Builds the module from scratch on every install. pip builds in this
    folder, and neither the compiler flags nor which headers an object file
    depends on are tracked: anything left from an earlier build may be stale."""

    def finalize_options(self):
        super().finalize_options()
        self.force = True


# The modules compile two at a time (G723_BUILD_JOBS to change).
ParallelCompile("G723_BUILD_JOBS", default=2, needs_recompile=lambda obj, src: True).install()

setup(version=version, ext_modules=[extension], cmdclass={"build_ext": build_every_time})
