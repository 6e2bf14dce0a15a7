#!/usr/bin/python3
"""Simplify every mesh of a folder on a Dask cluster.

    python3 examples/many_meshes.py FOLDER --grid N [--type T] [--out DIR]
            [--scheduler ADDRESS | --workers K] [--threads T]

Each task reads one mesh, simplifies it and writes its GiD files
(NAME_simp_TYPE_NNNN.msh/.res in DIR, the folder itself by default, named as
the tavrin program names them), so only file names and counts travel between
the machines. With --scheduler the tasks go to a running cluster
(`dask scheduler` and `dask worker ADDRESS --nthreads 1` on each machine;
every worker must see FOLDER and DIR); without it a LocalCluster of K
worker processes with one task each is started. Every task runs the
library on --threads OpenMP threads, and each worker process gets
OMP_NUM_THREADS to match, so that workers and threads share the cores
without oversubscribing them. PLY files are read with tavrin's reader, any
other format with meshio.
"""

import argparse
import os
import sys
import time


def simplify_one(path, out_dir, grid, method, threads):
    """Read, simplify and write one mesh; returns a dict of counts and times."""
    import numpy as np
    import tavrin

    name = os.path.splitext(os.path.basename(path))[0]
    start = time.perf_counter()
    if path.lower().endswith(".ply"):
        mesh = tavrin.read_ply(path)
        points, triangles, fields = mesh.points, mesh.triangles, mesh.fields
    else:
        import meshio
        m = meshio.read(path)
        points = np.asarray(m.points, dtype=np.float32)
        triangles = m.cells_dict["triangle"]
        fields = {k: v for k, v in m.point_data.items() if np.ndim(v) == 1}
    read = time.perf_counter()
    result = tavrin.simplify(points, triangles, grid=grid, method=method, fields=fields,
                             threads=threads)
    simplified = time.perf_counter()
    base = os.path.join(out_dir, "%s_simp_%s_%04d" % (name, method, grid))
    tavrin.write_gid(base, result)
    written = time.perf_counter()
    return {"file": os.path.basename(path), "output": base + ".msh",
            "triangles_in": int(len(triangles)), "triangles_out": int(len(result.triangles)),
            "points_out": int(len(result.points)), "read": read - start,
            "simplify": simplified - read, "write": written - simplified,
            "worker": os.getpid()}


def mesh_files(folder):
    suffixes = (".ply", ".vtu", ".vtk", ".obj", ".stl", ".off", ".msh", ".xdmf")
    return sorted(os.path.join(folder, f) for f in os.listdir(folder)
                  if f.lower().endswith(suffixes) and "_simp_" not in f)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("folder")
    parser.add_argument("--grid", type=int, required=True)
    parser.add_argument("--type", default="HASH_UC")
    parser.add_argument("--out", help="where the GiD files go (default: the folder)")
    parser.add_argument("--scheduler", help="address of a running Dask scheduler")
    parser.add_argument("--workers", type=int, default=2, help="LocalCluster worker processes")
    parser.add_argument("--threads", type=int, default=1, help="OpenMP threads per task")
    args = parser.parse_args(argv)

    from dask.distributed import Client, LocalCluster

    out_dir = args.out or args.folder
    os.makedirs(out_dir, exist_ok=True)
    files = mesh_files(args.folder)
    if not files:
        print("No mesh files in '%s'." % args.folder)
        return 1
    cluster = None
    if args.scheduler:
        client = Client(args.scheduler)
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                               dashboard_address=None,
                               env={"OMP_NUM_THREADS": str(args.threads)})
        client = Client(cluster)
    try:
        start = time.perf_counter()
        futures = client.map(simplify_one, files, out_dir=out_dir, grid=args.grid,
                             method=args.type, threads=args.threads, pure=False)
        results = client.gather(futures)
        total = time.perf_counter() - start
    finally:
        client.close()
        if cluster:
            cluster.close()
    print("%-28s %12s %12s %8s %8s %8s  %s" % ("file", "triangles", "simplified", "read s",
                                               "simp s", "write s", "worker"))
    for r in results:
        print("%-28s %12d %12d %8.3f %8.3f %8.3f  %d" % (
            r["file"], r["triangles_in"], r["triangles_out"], r["read"], r["simplify"],
            r["write"], r["worker"]))
    print("%d meshes in %.2f s on %s" % (len(results), total,
                                         args.scheduler or "%d local workers" % args.workers))
    return 0


if __name__ == "__main__":
    sys.exit(main())
