"""Builds the Python package kem through the project's CMake tree: the
extension kem._kem and the bundled data (kem/data) come from the CMake
build of the target _kem, the Python files from python/kem.  The metadata
is in pyproject.toml; the version is the CMake project's."""
import os
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as cmake_lists:
        return re.search(r"project\(kem VERSION ([0-9.]+)", cmake_lists.read()).group(1)


class CMakeBuild(build_ext):
    """Configures and builds the CMake tree for this interpreter, then
    copies its package directory (module and data) into the build."""

    def build_extension(self, ext):
        cmake = os.environ.get("CMAKE", "cmake")
        tree = os.path.abspath(os.path.join(self.build_temp, "cmake"))
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.check_call([cmake, "-S", ROOT, "-B", tree, "-DCMAKE_BUILD_TYPE=Release",
                               "-DKEM_TESTS=OFF", "-DKEM_PYTHON=ON",
                               "-DPython3_EXECUTABLE=" + sys.executable])
        subprocess.check_call([cmake, "--build", tree, "--target", "_kem", "-j", jobs])
        package = os.path.join(tree, "python", "kem")
        if not os.path.isdir(package):
            sys.exit("the CMake tree built no Python module (is pybind11 installed?)")
        target = os.path.dirname(os.path.abspath(self.get_ext_fullpath(ext.name)))
        shutil.copytree(package, target, dirs_exist_ok=True)


setup(
    version=project_version(),
    ext_modules=[Extension("kem._kem", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    # Not build/, which is the usual CMake build directory.
    options={"build": {"build_base": "build-python"}},
)
