#!/usr/bin/python3
"""Open3D vertex clustering on a PLY: `open3d_cluster.py IN.ply N average|quadric OUT.ply`.

The voxel size is S/N with S the largest extent of the input's bounding box
(the side of the batch program's cube); Open3D lays its voxels from the
box's own corner, which the caller cannot change. Times the call alone (mesh
already in memory) and prints a RESULT line."""
import sys
import time

import numpy as np
import open3d as o3d


def main():
    path, n, mode, out = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
    mesh = o3d.io.read_triangle_mesh(path)
    ext = np.asarray(mesh.get_max_bound()) - np.asarray(mesh.get_min_bound())
    voxel = float(ext.max()) / n
    contraction = {"average": o3d.geometry.SimplificationContraction.Average,
                   "quadric": o3d.geometry.SimplificationContraction.Quadric}[mode]
    w0, c0 = time.perf_counter(), time.process_time()
    result = mesh.simplify_vertex_clustering(voxel_size=voxel, contraction=contraction)
    wall, cpu = time.perf_counter() - w0, time.process_time() - c0
    o3d.io.write_triangle_mesh(out, result, write_ascii=False, compressed=False,
                               write_vertex_normals=False, write_vertex_colors=False)
    print("RESULT t_call=%.6f cpu_call=%.6f v=%d t=%d" %
          (wall, cpu, len(result.vertices), len(result.triangles)))


if __name__ == "__main__":
    main()
