"""Tavrin: simplification of triangle meshes by vertex clustering.

    import numpy as np, tavrin
    mesh = tavrin.read_ply("bunny.ply")
    small = tavrin.simplify(mesh.points, mesh.triangles, grid=64,
                            method=tavrin.HASH_UC, fields=mesh.fields)
    tavrin.write_gid("bunny_small", small)

Functions: simplify, simplify_octree, read_ply, write_gid, write_ply.
Constants: the eleven method names (HASH_UC ... HASH_UC_COHERENT), TYPES
(all of them in order) and MAX_GRID. `python3 -m tavrin IN OUT --grid N`
simplifies any mesh file meshio reads. Calls never print unless asked
(messages=True or a callable) and raise ValueError with the tavrin program's
sentence on bad input.
"""

import os as _os

# Idle OpenMP threads spin only briefly before they sleep, as in the tavrin
# programs: on a machine whose cores are busy, long spinning takes the core
# from the thread that still has work. The runtime reads this when it loads,
# so it is set before the compiled part is imported, and never over the
# user's own setting.
if "OMP_WAIT_POLICY" not in _os.environ and "GOMP_SPINCOUNT" not in _os.environ:
    _os.environ["GOMP_SPINCOUNT"] = "10000"

from ._tavrin import MAX_GRID, TYPES, Mesh, read_ply, simplify, simplify_octree
from . import _tavrin

for _name in TYPES:
    globals()[_name] = _name
del _name

__all__ = ["Mesh", "simplify", "simplify_octree", "read_ply", "write_gid", "write_ply",
           "TYPES", "MAX_GRID"] + list(TYPES)


def _unpack(mesh, points, triangles, fields, lines):
    if mesh is not None:
        return mesh.points, mesh.triangles, mesh.fields, mesh.lines
    if points is None or triangles is None:
        raise ValueError("give a tavrin.Mesh or points and triangles")
    return points, triangles, fields, lines


def write_gid(path, mesh=None, *, points=None, triangles=None, fields=None, lines=None,
              messages=None):
    """Write a GiD mesh file and, when there are fields, its results file.

    path      the mesh file; ".msh" is appended unless it ends in it, and the
              results file takes ".res" in place of the extension
    mesh      a tavrin.Mesh, or give points= and triangles= (and optionally
              fields= and lines=) as for tavrin.simplify
    messages  None/False: silent; True: to sys.stdout; a callable: each line

    Raises ValueError with the writer's sentence; a mesh with indices out of
    range or non-finite coordinates is refused and nothing is written.
    """
    p, t, f, l = _unpack(mesh, points, triangles, fields, lines)
    _tavrin._write_gid(path, p, t, f, l, messages)


def write_ply(path, mesh=None, *, points=None, triangles=None, fields=None, lines=None,
              messages=None):
    """Write a binary little-endian PLY file, fields as float vertex properties.

    Arguments as for tavrin.write_gid; lines are not written. Raises
    ValueError with the writer's sentence; on a bad mesh nothing is written.
    """
    p, t, f, l = _unpack(mesh, points, triangles, fields, lines)
    _tavrin._write_ply(path, p, t, f, l, messages)
