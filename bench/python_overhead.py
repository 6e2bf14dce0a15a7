#!/usr/bin/python3
"""The Python module's overhead over the C++ library call.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_overhead.py MESH.ply \
        [--grid 256] [--type HASH_UC] [--repeats 7] [--threads N] [--bench build/bench_api]

Times tavrin.simplify on the mesh's numpy arrays and the same call made from
C++ (bench_api: one warm call, then the median of three), alternating the two, and prints the medians and their
ratio. Both sides read the mesh with the same reader and pass the same
fields; the Python side's arrays are float32/uint32, so none is copied.
Example for the figure in the README:
    build/make_big_mesh tests/data/dragon_small.ply 2 /tmp/d2.ply
"""
import argparse
import re
import statistics
import subprocess
import time

import tavrin


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mesh")
    parser.add_argument("--grid", type=int, default=256)
    parser.add_argument("--type", default="HASH_UC")
    parser.add_argument("--repeats", type=int, default=7)
    parser.add_argument("--threads", type=int, default=0)
    parser.add_argument("--bench", default="build/bench_api")
    args = parser.parse_args()

    mesh = tavrin.read_ply(args.mesh)
    threads = args.threads or None
    py_times, cpp_times = [], []
    # Warm calls on both sides: bench_api makes one untimed call first too.
    tavrin.simplify(mesh.points, mesh.triangles, grid=args.grid, method=args.type,
                    fields=mesh.fields, threads=threads)
    for _ in range(args.repeats):
        start = time.perf_counter()
        result = tavrin.simplify(mesh.points, mesh.triangles, grid=args.grid, method=args.type,
                                 fields=mesh.fields, threads=threads)
        py_times.append(time.perf_counter() - start)
        assert result.report["copies"] == 0
        out = subprocess.run([args.bench, args.mesh, str(args.grid), args.type, "3",
                              str(args.threads)], capture_output=True, text=True, check=True)
        cpp_times.append(float(re.search(r"median ([0-9.]+) s", out.stdout).group(1)))
    py, cpp = statistics.median(py_times), statistics.median(cpp_times)
    print("%s grid %d: %d -> %d triangles; C++ call %.4f s, Python call %.4f s, "
          "overhead %+.1f %% (medians of %d)" % (args.type, args.grid, len(mesh.triangles),
                                                 len(result.triangles), cpp, py,
                                                 100.0 * (py / cpp - 1.0), args.repeats))


if __name__ == "__main__":
    main()
