"""The build step behind pyproject.toml: setuptools runs the project's CMake build.

For the interpreter that runs the build (sys.executable), CMake builds the _paifu module (with
_paifu.pyi and py.typed copied beside it) and the paifu command, in a CMake tree of its own
under build-python/ (one per interpreter; scripts/setup's build/ is not touched). The module
and its type files go into the wheel's top level, the command into its scripts (the
environment's bin/). Extra CMake arguments may be given in the environment as PAIFU_CMAKE_ARGS.
"""
import os
import shlex
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext
from distutils.command.build_scripts import build_scripts

ROOT = os.path.dirname(os.path.abspath(__file__))


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        tree = os.path.abspath(self.build_temp)
        subprocess.run(
            ["cmake", "-S", ROOT, "-B", tree, "-DCMAKE_BUILD_TYPE=Release", "-DPAIFU_BUILD_TESTS=OFF",
             "-DPAIFU_PYTHON_INTERPRETER=" + sys.executable]
            + shlex.split(os.environ.get("PAIFU_CMAKE_ARGS", "")),
            check=True)
        subprocess.run(
            ["cmake", "--build", tree, "-j", str(os.cpu_count() or 1), "--target", "paifu_module", "paifu"],
            check=True)
        built = os.path.join(tree, "python", "module")
        module = self.get_ext_fullpath(ext.name)
        destination = os.path.dirname(module)
        os.makedirs(destination, exist_ok=True)
        for name in os.listdir(built):
            if name.startswith("_paifu.") and name.endswith(".so"):
                shutil.copyfile(os.path.join(built, name), module)
            elif name in ("_paifu.pyi", "py.typed"):
                shutil.copyfile(os.path.join(built, name), os.path.join(destination, name))


class CommandBuild(build_scripts):
    """Takes the paifu executable from the CMake tree as it is (no shebang to rewrite)."""

    def get_source_files(self):
        return []

    def run(self):
        tree = os.path.abspath(self.get_finalized_command("build_ext").build_temp)
        self.mkpath(self.build_dir)
        target = os.path.join(self.build_dir, "paifu")
        shutil.copyfile(os.path.join(tree, "paifu"), target)
        os.chmod(target, 0o755)


setup(
    ext_modules=[Extension("_paifu", sources=[])],
    scripts=["paifu"],  # a name only: CommandBuild supplies the file
    cmdclass={"build_ext": CMakeBuild, "build_scripts": CommandBuild},
    options={"build": {"build_base": "build-python"}},
)
