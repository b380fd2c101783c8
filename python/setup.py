"""Builds the wqtrans extension module with the project's own CMake, for
`pip install ./python` (see the README, "From Python"): the module and the host layer
are compiled from the source tree above this folder and linked into the extension, so
nothing else of wqtrans needs to be installed. Needs CMake, a C++20 compiler, libpng's
headers, pybind11 and NumPy (Debian: cmake g++ libpng-dev python3-dev python3-pybind11
python3-numpy)."""

import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent


class CMakeBuild(build_ext):
    def build_extension(self, ext: Extension) -> None:
        build = Path(self.build_temp).resolve() / "cmake"
        target = Path(self.get_ext_fullpath(ext.name)).resolve()
        configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     f"-DPython3_EXECUTABLE={sys.executable}", "-DWQTRANS_TOOLS=OFF", "-DWQTRANS_TESTS=OFF",
                     "-DWQTRANS_BENCH=OFF", "-DWQTRANS_FREI0R=OFF", "-DWQTRANS_OBS=OFF"]
        if shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "wqtrans_python"], check=True)
        built = next((build / "python").glob("wqtrans*.so"))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)
        shutil.copyfile(HERE / "wqtrans.pyi", target.parent / "wqtrans.pyi")


version = re.search(r"project\(wqtrans VERSION ([0-9.]+)", (ROOT / "CMakeLists.txt").read_text()).group(1)
setup(version=version, ext_modules=[Extension("wqtrans", sources=[])], cmdclass={"build_ext": CMakeBuild})
