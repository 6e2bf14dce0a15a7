#!/usr/bin/python3
"""vtkQuadricClustering on a PLY: `vtk_cluster.py IN.ply N OUT.ply`.

The bins are cubes of side S/N laid from the corner of the cube around the
input's bounding box (centre of the box, side S = its largest extent), the
same cells as the batch program's N-grid. Times the filter's update alone
(mesh already in memory) and prints a RESULT line."""
import math
import sys
import time

import vtkmodules.vtkFiltersCore as core
import vtkmodules.vtkIOPLY as ioply


def main():
    path, n, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    reader = ioply.vtkPLYReader()
    reader.SetFileName(path)
    reader.Update()
    mesh = reader.GetOutput()
    b = mesh.GetBounds()
    side = max(b[1] - b[0], b[3] - b[2], b[5] - b[4])
    origin = [(b[2 * k] + b[2 * k + 1] - side) / 2 for k in range(3)]
    # A hair wider than the cube, as the batch program's grid is, so that
    # the nodes on the far faces fall inside the last bin.
    pad = 1e-6 * side
    spacing = (side + 2 * pad) / n

    # The filter keeps a dense array over every bin (about 90 bytes each,
    # measured at 256 bins a side); give up where that would not fit.
    bins = 1
    for k in range(3):
        bins *= max(1, math.ceil((b[2 * k + 1] - b[2 * k] + 2 * pad) / spacing))
    need = 100 * bins
    with open("/proc/meminfo") as m:
        avail = next(int(l.split()[1]) * 1024 for l in m if l.startswith("MemAvailable:"))
    if need > 0.8 * avail:
        print("SKIP %d bins need about %.1f GB, %.1f GB available" % (bins, need / 1e9, avail / 1e9))
        sys.exit(3)

    f = core.vtkQuadricClustering()
    f.SetInputData(mesh)
    f.AutoAdjustNumberOfDivisionsOff()
    f.SetDivisionOrigin(origin[0] - pad, origin[1] - pad, origin[2] - pad)
    f.SetDivisionSpacing(spacing, spacing, spacing)
    w0, c0 = time.perf_counter(), time.process_time()
    f.Update()
    wall, cpu = time.perf_counter() - w0, time.process_time() - c0
    result = f.GetOutput()

    writer = ioply.vtkPLYWriter()
    writer.SetFileName(out)
    writer.SetInputData(result)
    writer.SetFileTypeToBinary()
    writer.Write()
    print("RESULT t_call=%.6f cpu_call=%.6f v=%d t=%d" %
          (wall, cpu, result.GetNumberOfPoints(), result.GetNumberOfPolys()))


if __name__ == "__main__":
    main()
