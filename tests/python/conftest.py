"""Paths of the build under test: CTest sets TAVRIN_BINARY_DIR and
TAVRIN_SOURCE_DIR and puts the built module on PYTHONPATH."""
import os
import shutil
import subprocess

import pytest

SOURCE = os.environ.get("TAVRIN_SOURCE_DIR",
                        os.path.dirname(os.path.dirname(os.path.dirname(__file__))))
BINARY = os.environ.get("TAVRIN_BINARY_DIR", os.path.join(SOURCE, "build"))
DATA = os.path.join(SOURCE, "tests", "data")
PYTHON = "/usr/bin/python3"


def data(name):
    return os.path.join(DATA, name)


def run_batch(tmp_path, mesh, method, grid):
    """Runs the tavrin program on a copy of `mesh` in tmp_path/batch; returns
    the base of its output files and its standard output."""
    folder = tmp_path / "batch"
    folder.mkdir(exist_ok=True)
    copy = folder / os.path.basename(mesh)
    if not copy.exists():
        shutil.copy(mesh, copy)
    run = subprocess.run([os.path.join(BINARY, "tavrin"), str(copy), method, str(grid)],
                         capture_output=True, text=True)
    base = str(copy)[:-4] + "_simp_%s_%04d" % (method, grid)
    return base, run


def module_env():
    env = dict(os.environ)
    env["PYTHONPATH"] = os.path.join(BINARY, "python")
    return env


@pytest.fixture
def teapot():
    import tavrin
    return tavrin.read_ply(data("teapot.ply"))
