"""The build of the Python package for pip: setuptools copies the package's Python files and
CMake builds its extension, ksm7720._ksm7720, from this source tree (the version is the
CMake project's). CMAKE_ARGS adds options to the CMake configuration, for example
"-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"; build-pip/ holds the build."""

import os
import re
import shlex
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent
BUILD = "build-pip"


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    return re.search(r"project\(\S+ VERSION ([0-9.]+)", text).group(1)


def pybind11_arguments():
    """pybind11 from PyPI (pip's isolated build) carries its CMake files inside; Debian's
    pybind11-dev puts them where CMake looks anyway."""
    try:
        import pybind11
    except ImportError:
        return []
    return [f"-Dpybind11_DIR={pybind11.get_cmake_dir()}"]


class CMakeBuild(build_ext):
    """The extension as the CMake target ksm7720_python builds it: no panel, no tests."""

    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     f"-DPython3_EXECUTABLE={sys.executable}", "-DSFP_BUILD_PYTHON=ON",
                     "-DSFP_BUILD_GUI=OFF", "-DCMAKE_DISABLE_FIND_PACKAGE_Qt6=TRUE",
                     "-DSFP_BUILD_TESTS=OFF", "-DSFP_BUILD_BENCH=OFF"]
        if "CMAKE_GENERATOR" not in os.environ and shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        configure += pybind11_arguments() + shlex.split(os.environ.get("CMAKE_ARGS", ""))
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "ksm7720_python"], check=True)
        built = next((build / "python" / "ksm7720").glob("_ksm7720.*"))
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


(ROOT / BUILD).mkdir(exist_ok=True)
setup(
    version=project_version(),
    ext_modules=[Extension("ksm7720._ksm7720", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": BUILD}, "egg_info": {"egg_base": BUILD}},
)
