"""The tavrin module against the tavrin program: same files, same
sentences; zero-copy input, silence, flat memory and a released GIL."""
import os
import shutil
import subprocess
import threading
import time

import numpy as np
import pytest

import tavrin
from conftest import BINARY, data, run_batch

SHIPPED = ["teapot.ply", "bunny.ply", "bunny_attrs.ply", "dragon_small.ply", "quads.ply",
           "list_uint.ply", "double_int16.ply", "ico_le.ply"]


def files_equal(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        return fa.read() == fb.read()


@pytest.mark.parametrize("method", tavrin.TYPES)
def test_gid_files_equal_the_batch_programs(tmp_path, method):
    for mesh_name in SHIPPED:
        base, run = run_batch(tmp_path, data(mesh_name), method, 32)
        assert run.returncode == 0, run.stdout
        mesh = tavrin.read_ply(data(mesh_name))
        # Both index types and a thread count the batch run did not use.
        triangles = mesh.triangles.astype(np.int32) if "bunny" in mesh_name else mesh.triangles
        result = tavrin.simplify(mesh.points, triangles, grid=32, method=method.lower(),
                                 fields=mesh.fields, threads=3)
        ours = str(tmp_path / os.path.basename(base))
        tavrin.write_gid(ours, result)
        for ext in (".msh", ".res"):
            assert files_equal(ours + ext, base + ext), (mesh_name, method, ext)


def test_inputs_are_used_without_a_copy_unless_converted(teapot):
    p, t = teapot.points, teapot.triangles
    f = {"Boundary": teapot.fields["Boundary"]}
    cases = [
        (p, t, f, []),
        (p, t.astype(np.int32), f, []),
        (p.astype(np.float64), t, f, ["points"]),
        (np.asfortranarray(p), t, f, ["points"]),
        (p, t.astype(np.int64), f, ["triangles"]),
        (p, t, {"Boundary": f["Boundary"].astype(np.float64)}, ["fields"]),
        (p.tolist(), t.tolist(), None, ["points", "triangles"]),
    ]
    expected = tavrin.simplify(p, t, grid=16, fields=f)
    for points, triangles, fields, copied in cases:
        r = tavrin.simplify(points, triangles, grid=16, fields=fields)
        assert r.report["copied"] == copied
        assert r.report["copies"] == len(copied)
        assert np.array_equal(r.points, expected.points)
        assert np.array_equal(r.triangles, expected.triangles)


def write_ascii_ply(path, points, faces):
    with open(path, "w") as f:
        f.write("ply\nformat ascii 1.0\nelement vertex %d\nproperty float x\n"
                "property float y\nproperty float z\nelement face %d\n"
                "property list uchar int vertex_indices\nend_header\n" % (len(points), len(faces)))
        for p in points:
            f.write("%s %s %s\n" % tuple(p))
        for face in faces:
            f.write("3 %d %d %d\n" % tuple(face))


def test_bad_input_raises_the_batch_programs_sentence_and_writes_nothing(tmp_path):
    points = [[0, 0, 0], [1, 0, 0], [0, 1, 0], [1, 1, 0]]
    faces = [[0, 1, 2], [1, 3, 2]]
    nan_points = [[0, 0, 0], [1, float("nan"), 0], [0, 1, 0], [1, 1, 0]]
    # points, faces, grid, method, the sentence (None: the batch program's
    # last line for the same input), whether the mesh itself is bad
    cases = [
        (points, [[0, 1, 2], [1, 4, 2]], 8, "HASH_UC", None, True),
        (points, [[0, 1, 2], [1, -1, 2]], 8, "HASH_UC", None, True),
        (nan_points, faces, 8, "HASH_UC", None, True),
        (points, faces, 0, "HASH_UC", None, False),
        (points, faces, 1048577, "HASH_UC", None, False),
        (points, faces, 8, "HASH_UC_NOPE", "Unknown simplification type 'HASH_UC_NOPE'.", False),
    ]
    for i, (pts, tris, grid, method, sentence, bad_mesh) in enumerate(cases):
        if sentence is None:
            ply = tmp_path / ("bad%d.ply" % i)
            write_ascii_ply(ply, pts, tris)
            _, run = run_batch(tmp_path, str(ply), method, grid)
            assert run.returncode != 0
            sentence = run.stdout.strip().splitlines()[-1]
        for dtype in (np.int32, np.int64):
            with pytest.raises(ValueError) as raised:
                tavrin.simplify(np.array(pts, np.float32), np.array(tris, dtype), grid=grid,
                                method=method)
            assert str(raised.value) == sentence
        if bad_mesh:
            out = tmp_path / "written" / ("mesh%d" % i)
            out.parent.mkdir(exist_ok=True)
            with pytest.raises(ValueError) as raised:
                tavrin.write_gid(str(out), points=np.array(pts, np.float32),
                                 triangles=np.array(tris, np.int32))
            assert str(raised.value) == sentence
            assert os.listdir(out.parent) == []


def test_a_budget_or_a_bound_chooses_the_batch_programs_grid(tmp_path):
    mesh = tavrin.read_ply(data("teapot.ply"))
    folder = tmp_path / "batch"
    folder.mkdir()
    shutil.copy(data("teapot.ply"), folder / "teapot.ply")
    for option, value, key in (("--triangles", 2000, "triangles"), ("--max-error", 0.01, "max_error")):
        run = subprocess.run([os.path.join(BINARY, "tavrin"), str(folder / "teapot.ply"), "HASH_UC",
                              option, str(value)], capture_output=True, text=True)
        assert run.returncode == 0, run.stdout
        chosen = [l for l in run.stdout.splitlines() if l.startswith("Grid ")]
        lines = []
        result = tavrin.simplify(mesh.points, mesh.triangles, fields=mesh.fields,
                                 messages=lines.append, **{key: value})
        grid = result.report["grid"]
        assert chosen[0] + "\n" in lines and chosen[0].startswith("Grid %d " % grid)
        name = "teapot_simp_HASH_UC_%04d" % grid
        (tmp_path / key).mkdir()
        tavrin.write_gid(str(tmp_path / key / name), result)
        for ext in (".msh", ".res"):
            assert files_equal(str(tmp_path / key / name) + ext, str(folder / name) + ext)
    for asked in ({}, {"grid": 8, "triangles": 10}, {"triangles": 0}, {"triangles": -1},
                  {"max_error": 0}, {"max_error": float("nan")}):
        with pytest.raises(ValueError):
            tavrin.simplify(mesh.points, mesh.triangles, **asked)


def test_the_library_prints_nothing_unless_asked(capfd, teapot):
    tavrin.simplify(teapot.points, teapot.triangles, grid=16, method="HASH_UC_SCALAR3_NORMAL")
    assert capfd.readouterr().out == ""
    lines = []
    tavrin.simplify(teapot.points, teapot.triangles, grid=16, messages=lines.append)
    assert lines[0].startswith("Simplification using 'Hash UC with qefs'")
    assert capfd.readouterr().out == ""


def resident_kb():
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def test_a_thousand_calls_leave_resident_memory_flat(teapot):
    def calls(n):
        for _ in range(n):
            r = tavrin.simplify(teapot.points, teapot.triangles, grid=24, fields=teapot.fields)
            assert len(r.triangles) > 0
    calls(100)
    before = resident_kb()
    calls(1000)
    grown = resident_kb() - before
    # One result is about 40 KB; a leak of one per call would be 40 MB.
    assert grown < 4096, "resident memory grew by %d KB over 1000 calls" % grown


def test_another_python_thread_runs_during_a_long_call():
    # A refined plane: about 2 million triangles, a call of a good fraction
    # of a second.
    n = 1000
    xs, ys = np.meshgrid(np.arange(n, dtype=np.float32), np.arange(n, dtype=np.float32))
    points = np.stack([xs.ravel(), ys.ravel(), np.sin(xs.ravel() * 0.1)], axis=1)
    idx = np.arange(n * n, dtype=np.uint32).reshape(n, n)
    a, b, c, d = idx[:-1, :-1].ravel(), idx[:-1, 1:].ravel(), idx[1:, :-1].ravel(), idx[1:, 1:].ravel()
    triangles = np.concatenate([np.stack([a, b, d], 1), np.stack([a, d, c], 1)])
    windows = []

    def calls():
        # Calls until they have worked for at least 0.6 s in all, however
        # fast the machine.
        while sum(end - start for start, end in windows) < 0.6:
            start = time.perf_counter()
            tavrin.simplify(points, triangles, grid=256, threads=1)
            windows.append((start, time.perf_counter()))

    ticks = []
    worker = threading.Thread(target=calls)
    worker.start()
    while worker.is_alive():
        ticks.append(time.perf_counter())
        time.sleep(0.001)
    worker.join()
    inside = [t for t in ticks if any(start + 0.02 < t < end - 0.02 for start, end in windows)]
    assert len(inside) > 10, "the main thread did not run while the call worked"
