"""`pip install --no-build-isolation --prefix SCRATCH .` on a copy of the
source tree, with no package index, then `import kem` from there."""
import glob
import importlib.util
import os
import shutil
import subprocess
import sys

import pytest

SOURCE_DIR = os.environ.get("KEM_SOURCE_DIR")


def _tree_only(directory, names):
    """The source tree without build directories, caches and VCS data."""
    if os.path.samefile(directory, SOURCE_DIR):
        return [n for n in names if n.startswith(("build", ".git", ".cache"))]
    return [n for n in names if n in ("__pycache__",) or n.endswith(".egg-info")]


@pytest.mark.skipif(not SOURCE_DIR, reason="run through CTest")
def test_pip_install_then_import(tmp_path):
    for needed in ("pip", "setuptools", "wheel"):
        if importlib.util.find_spec(needed) is None:
            pytest.skip("%s is not installed for %s" % (needed, sys.executable))
    source = tmp_path / "source"
    shutil.copytree(SOURCE_DIR, source, ignore=_tree_only)
    prefix = tmp_path / "prefix"
    env = dict(os.environ, CMAKE=os.environ.get("KEM_CMAKE", "cmake"), PIP_NO_INDEX="1",
               PIP_DISABLE_PIP_VERSION_CHECK="1")
    # pip builds anew, without the sanitizers of the tree under test.
    for name in ("PYTHONPATH", "LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS"):
        env.pop(name, None)
    subprocess.run([sys.executable, "-m", "pip", "install", "--no-build-isolation", "--no-deps",
                    "--no-index", "--prefix", str(prefix), str(source)],
                   env=env, check=True, stdout=subprocess.DEVNULL)
    found = glob.glob(str(prefix / "**" / "kem" / "__init__.py"), recursive=True)
    assert len(found) == 1, found
    package = os.path.dirname(found[0])
    assert glob.glob(os.path.join(package, "_kem*.so"))
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    done = subprocess.run([sys.executable, os.path.join(os.path.dirname(__file__),
                                                        "install_check.py")],
                          cwd=elsewhere, capture_output=True, text=True, check=True,
                          env={"PATH": env["PATH"], "PYTHONPATH": os.path.dirname(package),
                               "PYTHONDONTWRITEBYTECODE": "1"})
    module, database, lookup = done.stdout.splitlines()
    assert module == os.path.realpath(os.path.join(package, "__init__.py"))
    assert database == os.path.realpath(os.path.join(package, "data", "sao.cty"))
    assert lookup == "Chicago_O'Hare_Intl EGLL 311.1"
    assert done.stderr == ""
