// The Python module's compiled part, tavrin._tavrin: numpy arrays in and out
// of the library's calls. C-contiguous float32 points and fields and int32 or
// uint32 indices are handed to the library as they are; anything else is
// converted once, and the result's report counts the conversions. The GIL
// is released while the library works; the run's messages are kept and
// handed to Python after the call, with the GIL held again.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "tavrin/tavrin.h"

namespace py = pybind11;

namespace {

// The arrays of one call, held for its whole length.
struct Input {
  std::vector<py::array> keep;
  std::vector<std::vector<uint32_t>> converted_indices;
  std::vector<std::string> names;
  std::vector<tavrin::FieldView> fields;
  std::vector<std::string> copied;  // which inputs were converted
  tavrin::MeshView view;
};

[[noreturn]] void refuse(const std::string& text) { throw py::value_error(text); }

bool is_c_contiguous(const py::array& a) {
  return (a.flags() & py::array::c_style) == py::array::c_style;
}

// A float32 array of `width` columns (0: one dimension), the caller's own
// when it already is one.
const float* take_floats(Input& in, py::handle object, size_t width, const char* what,
                         size_t& rows) {
  const bool is_array = py::isinstance<py::array>(object);
  py::array a = is_array ? py::reinterpret_borrow<py::array>(object) : py::array();
  const bool direct = is_array && a.dtype().is(py::dtype::of<float>()) && is_c_contiguous(a);
  if (!direct) {
    a = py::array_t<float, py::array::c_style | py::array::forcecast>::ensure(object);
    if (!a) refuse(std::string(what) + " must be an array of numbers");
    in.copied.push_back(what);
  }
  const bool shaped =
      width == 0 ? a.ndim() == 1 : (a.ndim() == 2 && a.shape(1) == (py::ssize_t)width);
  if (!shaped)
    refuse(width == 0 ? std::string(what) + " must be an array of shape (n,)"
                      : std::string(what) + " must be an array of shape (n, " +
                            std::to_string(width) + ")");
  rows = static_cast<size_t>(a.shape(0));
  in.keep.push_back(a);
  return static_cast<const float*>(a.data());
}

// Node indices of `width` columns: int32 or uint32 as they are (an int32 -1
// reads as 4294967295 and is refused as out of range); any other integer
// type is checked and converted once, so that no value wraps into range.
const uint32_t* take_indices(Input& in, py::handle object, size_t width, const char* what,
                             const char* kind, size_t& rows) {
  py::array a = py::array::ensure(object);
  if (!a || a.dtype().kind() == 'f' || a.dtype().kind() == 'c' ||
      (a.dtype().kind() != 'i' && a.dtype().kind() != 'u' && a.size() > 0))
    refuse(std::string(what) + " must be an array of integers");
  if (!(a.ndim() == 2 && a.shape(1) == (py::ssize_t)width) && !(a.size() == 0))
    refuse(std::string(what) + " must be an array of shape (n, " + std::to_string(width) + ")");
  rows = a.size() == 0 ? 0 : static_cast<size_t>(a.shape(0));
  const bool direct =
      (a.dtype().is(py::dtype::of<int32_t>()) || a.dtype().is(py::dtype::of<uint32_t>())) &&
      is_c_contiguous(a);
  if (direct) {
    in.keep.push_back(a);
    return static_cast<const uint32_t*>(a.data());
  }
  auto wide = py::array_t<int64_t, py::array::c_style | py::array::forcecast>::ensure(a);
  in.copied.push_back(what);
  const int64_t* v = wide.data();
  const size_t n = rows * width;
  std::vector<uint32_t> out(n);
  for (size_t i = 0; i < n; ++i) {
    if (v[i] < 0 || v[i] >= static_cast<int64_t>(in.view.node_count))
      refuse(py::str("Face index {} of {} {} (element 'face') is outside the nodes 0..{}")
                 .format(v[i], kind, i / width, static_cast<int64_t>(in.view.node_count) - 1));
    out[i] = static_cast<uint32_t>(v[i]);
  }
  in.converted_indices.push_back(std::move(out));
  return in.converted_indices.back().data();
}

void take_mesh(Input& in, py::handle points, py::handle triangles, py::handle lines,
               py::handle fields) {
  in.converted_indices.reserve(2);
  in.view.xyz = take_floats(in, points, 3, "points", in.view.node_count);
  in.view.triangles =
      take_indices(in, triangles, 3, "triangles", "triangle", in.view.triangle_count);
  if (!lines.is_none())
    in.view.lines = take_indices(in, lines, 2, "lines", "line", in.view.line_count);
  if (!fields.is_none()) {
    if (!py::isinstance<py::dict>(fields)) refuse("fields must be a dict of name -> array");
    for (auto item : py::reinterpret_borrow<py::dict>(fields)) {
      in.names.push_back(py::str(item.first));
      size_t rows = 0;
      const float* values = take_floats(in, item.second, 0, "fields", rows);
      if (rows != in.view.node_count)
        refuse("field '" + in.names.back() + "' must hold one value per point");
      in.fields.push_back(tavrin::FieldView{nullptr, values});
    }
    for (size_t k = 0; k < in.fields.size(); ++k) in.fields[k].name = in.names[k].c_str();
    in.view.fields = in.fields.data();
    in.view.field_count = in.fields.size();
  }
}

// A vector's storage as a numpy array, without copying it again.
template <class T>
py::array to_array(std::vector<T>&& values, size_t width) {
  auto* owned = new std::vector<T>(std::move(values));
  py::capsule owner(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
  std::vector<py::ssize_t> shape{static_cast<py::ssize_t>(owned->size() / (width ? width : 1))};
  if (width) shape.push_back(static_cast<py::ssize_t>(width));
  return py::array_t<T>(shape, owned->data(), owner);
}

// What a call returns to Python.
struct PyMesh {
  py::object points, triangles, lines, fields, report;
};

py::dict report_dict(const tavrin::RunReport& r, const std::vector<std::string>& copied) {
  py::dict d;
  d["input_nodes"] = r.input_nodes;
  d["input_triangles"] = r.input_triangles;
  d["nodes"] = r.nodes;
  d["triangles"] = r.triangles;
  d["lines"] = r.lines;
  d["seconds"] = r.seconds;
  d["seconds_simplify"] = r.seconds_simplify;
  d["seconds_interpolate"] = r.seconds_interpolate;
  d["table_bytes"] = r.table_bytes;
  d["grid"] = r.grid;
  if (r.error_measured) {
    d["error_max"] = r.error_max;
    d["error_rms"] = r.error_rms;
  }
  const tavrin::PhaseTimes& p = r.phases;
  py::dict phases;
  phases["create"] = p.create;
  phases["submit"] = p.submit;
  phases["optimal"] = p.optimal;
  phases["simplify"] = p.simplify;
  phases["normals"] = p.normals;
  phases["clear"] = p.clear;
  phases["interpolate"] = p.interpolate;
  phases["destroy"] = p.destroy;
  d["phases"] = phases;
  d["copies"] = copied.size();
  d["copied"] = copied;
  return d;
}

PyMesh to_python(tavrin::Result&& result, const std::vector<std::string>& copied) {
  PyMesh m;
  tavrin::Mesh& mesh = result.mesh;
  m.points = to_array(std::move(mesh.xyz), 3);
  m.triangles = to_array(std::move(mesh.triangles), 3);
  m.lines = to_array(std::move(mesh.lines), 2);
  py::dict fields;
  for (tavrin::Field& f : mesh.fields) fields[py::str(f.name)] = to_array(std::move(f.values), 0);
  m.fields = fields;
  m.report = report_dict(result.report, copied);
  return m;
}

// Keeps a call's messages; they reach Python once the call is over.
struct Messages {
  std::vector<std::string> lines;
  tavrin::MessageSink sink(const py::object& target) {
    if (target.is_none() || (py::isinstance<py::bool_>(target) && !target.cast<bool>())) return {};
    return [this](const std::string& text) { lines.push_back(text); };
  }
  void deliver(const py::object& target) {
    if (lines.empty()) return;
    if (py::isinstance<py::bool_>(target)) {
      py::object out = py::module_::import("sys").attr("stdout");
      for (const std::string& t : lines) out.attr("write")(t);
      out.attr("flush")();
    } else {
      for (const std::string& t : lines) target(t);
    }
  }
};

int thread_count(const py::object& threads) {
  if (threads.is_none()) return 0;
  const int n = threads.cast<int>();
  if (n < 1) refuse("threads must be 1 or more, or None");
  return n;
}

PyMesh simplify(py::handle points, py::handle triangles, py::object grid, py::object budget,
                py::object max_error, const std::string& method, py::handle fields,
                py::handle lines, float load_factor, py::object threads, py::object messages) {
  const int asked = !grid.is_none() + !budget.is_none() + !max_error.is_none();
  if (asked != 1) refuse("give exactly one of grid, triangles and max_error");
  Input in;
  take_mesh(in, points, triangles, lines, fields);
  tavrin::SimplifyRequest request;
  request.type = method;
  if (!grid.is_none()) request.grid = grid.cast<int64_t>();
  if (!budget.is_none()) request.triangles = budget.cast<int64_t>();
  if (!max_error.is_none()) request.max_error = max_error.cast<double>();
  request.load_factor = load_factor;
  request.threads = thread_count(threads);
  Messages kept;
  request.messages = kept.sink(messages);
  tavrin::Result result;
  {
    py::gil_scoped_release unlocked;
    result = tavrin::simplify(in.view, request);
  }
  kept.deliver(messages);
  if (!result.ok()) refuse(result.error);
  return to_python(std::move(result), in.copied);
}

PyMesh simplify_octree(py::handle points, py::handle triangles, float max_error, py::handle fields,
                       py::handle lines, py::object threads, py::object messages) {
  Input in;
  take_mesh(in, points, triangles, lines, fields);
  const int n = thread_count(threads);
  Messages kept;
  const tavrin::MessageSink sink = kept.sink(messages);
  tavrin::Result result;
  {
    py::gil_scoped_release unlocked;
    result = tavrin::simplify_octree(in.view, max_error, n, sink);
  }
  kept.deliver(messages);
  if (!result.ok()) refuse(result.error);
  return to_python(std::move(result), in.copied);
}

PyMesh read_ply(const std::string& path, py::object messages) {
  Messages kept;
  const tavrin::MessageSink sink = kept.sink(messages);
  tavrin::Result result;
  {
    py::gil_scoped_release unlocked;
    result = tavrin::read_ply(path, sink);
  }
  kept.deliver(messages);
  if (!result.ok()) refuse(result.error);
  return to_python(std::move(result), {});
}

template <auto Write>
void write(const std::string& path, py::handle points, py::handle triangles, py::handle fields,
           py::handle lines, py::object messages) {
  Input in;
  take_mesh(in, points, triangles, lines, fields);
  Messages kept;
  const tavrin::MessageSink sink = kept.sink(messages);
  std::string error = tavrin::check_mesh(in.view);
  if (error.empty()) {
    py::gil_scoped_release unlocked;
    error = Write(path, in.view, sink);
  }
  kept.deliver(messages);
  if (!error.empty()) refuse(error);
}

}  // namespace

PYBIND11_MODULE(_tavrin, m) {
  m.doc() = "Compiled part of the tavrin module; use `import tavrin`.";
  py::class_<PyMesh>(m, "Mesh", R"(A mesh returned by tavrin.

points     float32 array (n, 3)
triangles  uint32 array (m, 3) of 0-based point indices
lines      uint32 array (k, 2) of 0-based point indices
fields     dict name -> float32 array (n,), one value per point
report     dict: input and output counts, seconds (total, simplify,
           interpolate), table_bytes, error_max and error_rms (the result's error relative
           to the bounding-box diagonal, when measured), phases (dict of seconds), and
           copies / copied: how many input arrays were converted, and which)")
      .def_readonly("points", &PyMesh::points, "float32 array (n, 3)")
      .def_readonly("triangles", &PyMesh::triangles, "uint32 array (m, 3)")
      .def_readonly("lines", &PyMesh::lines, "uint32 array (k, 2)")
      .def_readonly("fields", &PyMesh::fields, "dict name -> float32 array (n,)")
      .def_readonly("report", &PyMesh::report, "dict of counts and times")
      .def("__repr__", [](const PyMesh& p) {
        return py::str("<tavrin.Mesh: {} points, {} triangles, {} lines, {} fields>")
            .format(py::len(p.points), py::len(p.triangles), py::len(p.lines), py::len(p.fields));
      });

  // The arrays are positional only, and the second is named apart, so that
  // `triangles=` can name the budget.
  m.def("simplify", &simplify, py::arg("points"), py::arg("faces"), py::pos_only(), py::kw_only(),
        py::arg("grid") = py::none(), py::arg("triangles") = py::none(),
        py::arg("max_error") = py::none(), py::arg("method") = "HASH_UC",
        py::arg("fields") = py::none(), py::arg("lines") = py::none(),
        py::arg("load_factor") = 0.0f, py::arg("threads") = py::none(),
        py::arg("messages") = py::none(),
        R"(Simplify a triangle mesh by clustering its points in a grid.

points       (n, 3) array of coordinates; float32 C-contiguous is used
             without a copy, anything else is converted once
faces        (m, 3) array of 0-based point indices, the triangles; int32 or
             uint32 C-contiguous is used without a copy (points and faces
             are passed by position)
grid         cells per axis, 1 to 1,048,576; or, instead of grid:
triangles    a triangle budget: the grid (2 to 2048) whose result has the
             most triangles not above it
max_error    an error bound relative to the bounding-box diagonal: the
             coarsest grid (2 to 2048) whose result's error_max is within it
             (report["grid"] is the grid used)
method       one of tavrin.TYPES (default "HASH_UC"), any case
fields       dict name -> (n,) array of per-point values, averaged onto
             the new points (float32 C-contiguous used without a copy)
lines        (k, 2) array of 0-based point indices (accepted and checked;
             the clustering keeps the segments its collapsed triangles make)
load_factor  space factor of the HASH_UC_SINGLE / HASH_UC_COHERENT tables;
             0 takes their default
threads      OpenMP threads for this call; None: the runtime's default
messages     None/False: silent; True: the run's lines go to sys.stdout
             after the call; a callable: called with each line

Returns a tavrin.Mesh. Raises ValueError with the tavrin program's sentence
on a bad grid, an unknown method, indices out of range, non-finite
coordinates, or when the run gives no mesh. The GIL is released while the
mesh is simplified; the result is the same on any thread count.)");

  m.def("simplify_octree", &simplify_octree, py::arg("points"), py::arg("triangles"), py::kw_only(),
        py::arg("max_error"), py::arg("fields") = py::none(), py::arg("lines") = py::none(),
        py::arg("threads") = py::none(), py::arg("messages") = py::none(),
        R"(Simplify with the octree method: every point goes to the coarsest
octree cell whose quadric error is at most max_error (in units of the mesh's
bounding cube mapped to [-1, 1]). Arguments as for tavrin.simplify; fields
are checked but not carried. Returns a tavrin.Mesh; raises ValueError.)");

  m.def("read_ply", &read_ply, py::arg("path"), py::kw_only(), py::arg("messages") = py::none(),
        R"(Read a PLY file as the tavrin program does: quadrilaterals split into
two triangles after the file's triangles, every further vertex property a
field, and a "Boundary" field added. Returns a tavrin.Mesh; raises ValueError
with the reader's sentence.)");

  const char* gid_doc =
      R"(Write a GiD mesh file (".msh" appended unless path ends in it) and, when
there are fields, the results file beside it. Arguments as for
tavrin.simplify. Raises ValueError with the writer's sentence; on a bad mesh
nothing is written, and a failed write leaves earlier files as they were.)";
  m.def("_write_gid", &write<&tavrin::write_gid>, py::arg("path"), py::arg("points"),
        py::arg("triangles"), py::arg("fields") = py::none(), py::arg("lines") = py::none(),
        py::arg("messages") = py::none(), gid_doc);
  m.def("_write_ply", &write<&tavrin::write_ply>, py::arg("path"), py::arg("points"),
        py::arg("triangles"), py::arg("fields") = py::none(), py::arg("lines") = py::none(),
        py::arg("messages") = py::none(),
        R"(Write a binary little-endian PLY file, fields as float vertex properties
(lines are not written). Raises ValueError; on a bad mesh nothing is written.)");

  m.attr("TYPES") = py::tuple(py::cast(tavrin::types()));
  m.attr("MAX_GRID") = tavrin::max_grid;
}
