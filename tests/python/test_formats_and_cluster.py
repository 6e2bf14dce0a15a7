"""`python3 -m tavrin` on a VTU file with point data, and the Dask example on
a two-worker LocalCluster against the tavrin program's files."""
import os
import shutil
import subprocess

import numpy as np

import tavrin
from conftest import PYTHON, SOURCE, data, module_env, run_batch


def cli(*args):
    return subprocess.run([PYTHON, "-m", "tavrin", *args], capture_output=True, text=True,
                          env=module_env(), timeout=300)


def test_a_vtu_with_two_fields_round_trips_through_the_command(tmp_path):
    import meshio
    mesh = tavrin.read_ply(data("bunny.ply"))
    p = mesh.points
    temperature = (p[:, 0] * 10).astype(np.float64)
    velocity = np.stack([p[:, 1], p[:, 2], p[:, 0]], axis=1)
    # Half the triangles as quads of two triangles, so the split is exercised.
    tris = mesh.triangles.astype(np.int64)
    src = tmp_path / "in.vtu"
    meshio.Mesh(p, [("triangle", tris)],
                point_data={"temperature": temperature, "velocity": velocity}).write(src)
    out = tmp_path / "out.vtu"
    run = cli(str(src), str(out), "--grid", "16", "--quiet")
    assert run.returncode == 0, run.stdout + run.stderr
    assert run.stdout == ""
    back = meshio.read(out)
    assert set(back.point_data) == {"temperature", "velocity"}
    assert back.point_data["velocity"].shape == (len(back.points), 3)
    # The same as the module's own result with the same fields.
    direct = tavrin.simplify(p, tris, grid=16,
                             fields={"temperature": temperature, "velocity[0]": velocity[:, 0],
                                     "velocity[1]": velocity[:, 1], "velocity[2]": velocity[:, 2]})
    assert np.array_equal(back.points, direct.points)
    assert np.array_equal(back.point_data["temperature"], direct.fields["temperature"])

    loud = cli(str(src), str(tmp_path / "loud.vtu"), "--grid", "16")
    assert "Simplification using 'Hash UC with qefs' ( HUC)" in loud.stdout


def test_quads_split_as_the_ply_reader_splits_them_and_other_cells_are_refused(tmp_path):
    import meshio
    # A wavy 12 x 12 grid: its first row as triangles, the rest as quads.
    n = 12
    xs, ys = np.meshgrid(np.arange(n + 1, dtype=np.float32), np.arange(n + 1, dtype=np.float32))
    points = np.stack([xs.ravel(), ys.ravel(), np.sin(xs.ravel()) * np.cos(ys.ravel())], axis=1)
    idx = np.arange((n + 1) ** 2).reshape(n + 1, n + 1)
    quads = np.stack([idx[:-1, :-1], idx[:-1, 1:], idx[1:, 1:], idx[1:, :-1]], axis=2).reshape(-1, 4)
    row, rest = quads[:n], quads[n:]
    tris = np.concatenate([row[:, [0, 1, 2]], row[:, [0, 2, 3]]])
    split = np.empty((2 * len(rest), 3), dtype=np.int64)
    split[0::2], split[1::2] = rest[:, [0, 1, 2]], rest[:, [2, 3, 0]]
    height = points[:, 2].copy()
    expected = tavrin.simplify(points, np.concatenate([tris, split]), grid=5,
                               fields={"height": height})
    src = tmp_path / "quads.vtu"
    meshio.Mesh(points, [("quad", rest), ("triangle", tris)],
                point_data={"height": height}).write(src)
    out = tmp_path / "quads_out.vtu"
    run = cli(str(src), str(out), "--grid", "5", "--quiet")
    assert run.returncode == 0, run.stdout
    back = meshio.read(out)
    assert np.array_equal(back.points, expected.points)
    assert np.array_equal(back.cells_dict["triangle"], expected.triangles)
    assert np.array_equal(back.point_data["height"], expected.fields["height"])

    tet = tmp_path / "tet.vtu"
    meshio.Mesh(np.eye(4, 3), [("tetra", np.array([[0, 1, 2, 3]])),
                               ("hexahedron", np.arange(8).reshape(1, 8) % 4)]).write(tet)
    run = cli(str(tet), str(tmp_path / "x.vtu"), "--grid", "4")
    assert run.returncode == 1
    assert run.stdout.strip().splitlines()[-1] == (
        "Cell types that cannot be simplified: hexahedron, tetra (only triangle, quad and line)")
    assert not (tmp_path / "x.vtu").exists()


def test_the_dask_example_matches_the_batch_program_on_a_local_cluster(tmp_path):
    folder = tmp_path / "meshes"
    folder.mkdir()
    names = ["teapot.ply", "bunny.ply", "bunny_attrs.ply", "dragon_small.ply", "quads.ply"]
    for name in names:
        shutil.copy(data(name), folder / name)
    run = subprocess.run([PYTHON, os.path.join(SOURCE, "examples", "many_meshes.py"), str(folder),
                          "--grid", "32", "--type", "HASH_UC_ACC", "--workers", "2",
                          "--out", str(tmp_path / "out")],
                         capture_output=True, text=True, env=module_env(), timeout=600)
    assert run.returncode == 0, run.stdout + run.stderr
    assert "%d meshes in" % len(names) in run.stdout
    for name in names:
        base, batch = run_batch(tmp_path, data(name), "HASH_UC_ACC", 32)
        assert batch.returncode == 0
        for ext in (".msh", ".res"):
            with open(base + ext, "rb") as a, \
                    open(str(tmp_path / "out" / os.path.basename(base)) + ext, "rb") as b:
                assert a.read() == b.read(), (name, ext)
