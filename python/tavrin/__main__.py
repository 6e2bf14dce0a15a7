"""python3 -m tavrin IN OUT (--grid N | --triangles N | --max-error E) [--type T]
    [--load-factor F] [--quiet]

Simplifies a mesh file of any format meshio reads and writes the result in
the format OUT's extension names. Point data become fields and come back
averaged onto the new points (an (n, k) array as k fields joined again on
output); triangles are simplified, quadrilaterals split into two triangles
(a, b, c) and (c, d, a) after the triangles, as the PLY reader splits them;
line cells are accepted. Any other cell type is refused.
"""

import argparse
import sys

import numpy as np

import tavrin

ACCEPTED = ("triangle", "quad", "line")


def split_fields(point_data, count):
    """Per-point fields as 1-D float arrays, and how to join them again."""
    fields, joins = {}, {}
    for name, values in point_data.items():
        values = np.asarray(values)
        if values.ndim == 1 or (values.ndim == 2 and values.shape[1] == 1):
            fields[name] = values.reshape(count)
        elif values.ndim == 2:
            names = ["%s[%d]" % (name, k) for k in range(values.shape[1])]
            for k, part in enumerate(names):
                fields[part] = values[:, k]
            joins[name] = names
    return fields, joins


def join_fields(fields, joins):
    out = {name: values for name, values in fields.items()}
    for name, parts in joins.items():
        if all(p in out for p in parts):
            out[name] = np.stack([out.pop(p) for p in parts], axis=1)
    return out


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m tavrin", description=__doc__.split("\n\n")[1])
    parser.add_argument("input")
    parser.add_argument("output")
    size = parser.add_mutually_exclusive_group(required=True)
    size.add_argument("--grid", type=int, help="cells per axis, 1 to 1,048,576")
    size.add_argument("--triangles", type=int,
                      help="the grid whose result has the most triangles not above N")
    size.add_argument("--max-error", type=float,
                      help="the coarsest grid whose error is within E of the diagonal")
    parser.add_argument("--type", default="HASH_UC", help="one of: " + ", ".join(tavrin.TYPES))
    parser.add_argument("--load-factor", type=float, default=0.0)
    parser.add_argument("--quiet", action="store_true", help="print nothing but errors")
    args = parser.parse_args(argv)

    import meshio

    say = (lambda text: None) if args.quiet else (lambda text: print(text, flush=True))
    say("Reading %s ..." % args.input)
    try:
        mesh = meshio.read(args.input)
    except Exception as error:  # meshio raises many kinds
        print("Error reading file '%s': %s" % (args.input, error), flush=True)
        return 1
    refused = sorted({block.type for block in mesh.cells if block.type not in ACCEPTED})
    if refused:
        print("Cell types that cannot be simplified: %s (only triangle, quad and line)"
              % ", ".join(refused), flush=True)
        return 1
    blocks = {kind: [b.data for b in mesh.cells if b.type == kind] for kind in ACCEPTED}
    triangles = np.concatenate(blocks["triangle"]) if blocks["triangle"] else np.zeros((0, 3))
    if blocks["quad"]:
        quads = np.concatenate(blocks["quad"])
        split = np.empty((2 * len(quads), 3), dtype=quads.dtype)
        split[0::2] = quads[:, [0, 1, 2]]
        split[1::2] = quads[:, [2, 3, 0]]
        triangles = np.concatenate([triangles.astype(split.dtype), split])
    lines = np.concatenate(blocks["line"]) if blocks["line"] else None
    points = np.asarray(mesh.points, dtype=np.float32)
    if points.ndim == 2 and points.shape[1] == 2:
        points = np.hstack([points, np.zeros((len(points), 1), np.float32)])
    fields, joins = split_fields(mesh.point_data, len(points))
    say("num nodes = %d, num triangles = %d, scalars = %d" % (len(points), len(triangles), len(fields)))
    try:
        asked = {key: value for key, value in (("grid", args.grid), ("triangles", args.triangles),
                                               ("max_error", args.max_error)) if value is not None}
        result = tavrin.simplify(points, triangles, **asked, method=args.type,
                                 fields=fields, lines=lines, load_factor=args.load_factor,
                                 messages=not args.quiet)
    except ValueError as error:
        print(error, flush=True)
        return 1
    cells = [("triangle", result.triangles.astype(np.int64))]
    if len(result.lines):
        cells.append(("line", result.lines.astype(np.int64)))
    out = meshio.Mesh(result.points, cells, point_data=join_fields(result.fields, joins))
    try:
        out.write(args.output)
    except Exception as error:
        print("Problems saving '%s': %s" % (args.output, error), flush=True)
        return 1
    say("File '%s' saved." % args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
