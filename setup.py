"""Builds the Python module kivoparse from the library sources and the
binding in python/, with Debian's setuptools and pybind11, offline:

    /usr/bin/python3 -m venv --system-site-packages venv
    venv/bin/pip install --no-build-isolation --no-index .

The same from a source distribution (MANIFEST.in lists what it holds):

    python3 -m build --no-isolation          # dist/kivoparse-VERSION.tar.gz and the wheel
    venv/bin/pip install --no-build-isolation --no-index dist/kivoparse-*.tar.gz
"""

import os
import re
from glob import glob

from pybind11.setup_helpers import ParallelCompile, Pybind11Extension, build_ext
from setuptools import setup

# Paths stay relative to this folder, as setuptools wants them.
os.chdir(os.path.dirname(os.path.abspath(__file__)))

with open("CMakeLists.txt", encoding="utf-8") as cmake:
    VERSION = re.search(r"project\(kivoparse VERSION ([0-9.]+)", cmake.read()).group(1)

# The library folders are globbed, as CMake does, so that files added or
# renamed there need no change here.
LIBRARY_FOLDERS = ["engine", "tree", "output", "links", "log", "control", "api"]
SOURCES = sorted(path for folder in LIBRARY_FOLDERS for path in glob(f"{folder}/*.cpp"))
SOURCES += sorted(glob("python/*.cpp"))
# Every header the sources may include: a changed header rebuilds the
# module (setuptools compares their times with the built module's).
HEADERS = sorted(path for folder in LIBRARY_FOLDERS + ["include/kivoparse"] for path in glob(f"{folder}/*.h"))

os.makedirs("build-python", exist_ok=True)
ParallelCompile("KIVOPARSE_BUILD_JOBS", default=2).install()

setup(
    name="kivoparse",
    version=VERSION,
    description="HTML parser that writes documents back normalised and lists and rewrites their image and link URLs",
    long_description=open("python/README.md", encoding="utf-8").read(),
    long_description_content_type="text/markdown",
    python_requires=">=3.9",
    packages=["kivoparse"],
    package_dir={"": "python"},
    package_data={"kivoparse": ["__init__.pyi", "py.typed"]},
    ext_modules=[
        Pybind11Extension(
            "kivoparse._kivoparse",
            SOURCES,
            depends=HEADERS,
            include_dirs=["include", "."],
            extra_compile_args=["-Wall", "-Wextra"],
            # The wheel carries no debugging symbols (as pip users expect):
            # the module is linked stripped.
            extra_link_args=["-s"],
            cxx_std=17,
        )
    ],
    cmdclass={"build_ext": build_ext},
    # The CMake builds own build/ and build-*/; setuptools works beside them.
    options={"build": {"build_base": "build-python"}, "egg_info": {"egg_base": "build-python"}},
    zip_safe=False,
)
