"""`cmake --install` into a scratch prefix, then `import kem` with that
prefix's site directory on the path, from elsewhere."""
import os
import subprocess
import sys

import pytest

BUILD_DIR = os.environ.get("KEM_BUILD_DIR")
SITE_DIR = os.environ.get("KEM_PYTHON_INSTALL_DIR")


@pytest.mark.skipif(not BUILD_DIR or not SITE_DIR, reason="run through CTest")
def test_cmake_install_then_import(tmp_path):
    prefix = tmp_path / "prefix"
    cmake = os.environ.get("KEM_CMAKE", "cmake")
    subprocess.run([cmake, "--install", BUILD_DIR, "--prefix", str(prefix)], check=True,
                   stdout=subprocess.DEVNULL)
    package = prefix / SITE_DIR / "kem"
    for name in ("__init__.py", "__init__.pyi", "py.typed", "data/sao.cty", "data/zones.raw"):
        assert (package / name).is_file(), name
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "PYTHONPATH": str(prefix / SITE_DIR),
           "PYTHONDONTWRITEBYTECODE": "1"}
    # A module built with the sanitizers needs their runtime loaded first.
    env.update({k: v for k, v in os.environ.items()
                if k in ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS")})
    done = subprocess.run([sys.executable, os.path.join(os.path.dirname(__file__),
                                                        "install_check.py")],
                          cwd=elsewhere, env=env, capture_output=True, text=True, check=True)
    module, database, lookup = done.stdout.splitlines()
    assert module == os.path.realpath(package / "__init__.py")
    assert database == os.path.realpath(package / "data" / "sao.cty")
    assert lookup == "Chicago_O'Hare_Intl EGLL 311.1"
    assert done.stderr == ""
