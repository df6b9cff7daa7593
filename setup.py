"""The build step behind pyproject.toml: setuptools runs the project's CMake build.

For the interpreter that runs the build (sys.executable), CMake builds the _paifu module and
the paifu command, in a CMake tree of its own under build-python/ (one per interpreter;
scripts/setup's build/ is not touched). Extra CMake arguments may be given in the environment
as PAIFU_CMAKE_ARGS. The wheel holds:
  _paifu.<suffix>.so          the module, at the top level;
  _paifu.pyi                  its type information beside it (read by pyright and IDEs);
  _paifu-stubs/__init__.pyi   the same file as a PEP 561 stub-only package, the form that mypy
                              reads from an environment (PEP 561 gives single-file modules no
                              py.typed: mypy ignores a top-level py.typed, and one in
                              site-packages would belong to every distribution that ships it);
  scripts/paifu               the command, installed into the environment's bin/.
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
        shutil.copyfile(os.path.join(built, os.path.basename(module)), module)  # the same file name
        stub = os.path.join(ROOT, "src", "lib", "_paifu.pyi")
        shutil.copyfile(stub, os.path.join(destination, "_paifu.pyi"))
        os.makedirs(os.path.join(destination, "_paifu-stubs"), exist_ok=True)
        shutil.copyfile(stub, os.path.join(destination, "_paifu-stubs", "__init__.pyi"))


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
