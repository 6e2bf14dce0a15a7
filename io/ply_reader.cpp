// Turns a PLY file into the arrays of Object::build and then into an Object.
// The vertex element is converted column by column straight into the
// coordinate and scalar arrays; the face lists are sorted by length. The
// content is checked before anything is built: finite coordinates, face
// indices inside the node range, counts that fit 32 bits.
#include "io/ply_reader.h"

#include <strings.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "base/group_digits.h"
#include "base/messages.h"
#include "io/ply_checks.h"
#include "io/ply_file.h"

namespace Tavrin {

namespace {

constexpr int64_t kMaxCount = std::numeric_limits<int32_t>::max();

// Position of the first index outside 0..num_nodes-1 among `count` records
// of `width` indices laid out `stride` apart, counted as if the records were
// packed (record * width + entry), or -1.
int64_t first_bad_index(const int32_t* v, int64_t count, int width, size_t stride,
                        int32_t num_nodes) {
  const uint32_t limit = static_cast<uint32_t>(num_nodes);
  int64_t first = count;
#pragma omp parallel for schedule(static) reduction(min : first) if (count > 65536)
  for (int64_t i = 0; i < count; ++i) {
    const int32_t* r = v + i * static_cast<int64_t>(stride);
    for (int j = 0; j < width; ++j)
      if (static_cast<uint32_t>(r[j]) >= limit) {
        if (i < first) first = i;
        break;
      }
  }
  if (first == count) return -1;
  const int32_t* r = v + first * static_cast<int64_t>(stride);
  int j = 0;
  while (static_cast<uint32_t>(r[j]) < limit) ++j;
  return first * width + j;
}

}  // namespace

std::optional<std::string> decode_property_name(std::string_view text) {
  if (text.empty()) return std::nullopt;
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      int hi = hex(text[i + 1]), lo = hex(text[i + 2]);
      // A NUL would end the name wherever it is used as a C string.
      if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return std::nullopt;
      out.push_back(static_cast<char>(hi * 16 + lo));
      i += 2;
    } else if (is_unreserved_name_byte(c)) {
      out.push_back(static_cast<char>(c));
    } else {
      return std::nullopt;
    }
  }
  return out;
}

namespace {

// Room for `count` values that are about to be overwritten, backed by huge
// pages where the kernel allows.
template <class T>
T* make_room(std::vector<T>& v, size_t count) {
  v.reserve(count);
  advise_huge_pages(v.data(), count * sizeof(T));
  v.resize(count);
  return v.data();
}

// The two shapes a read can produce: flat arrays (PlyData) and the records
// an Object takes over without copying (PlyMesh). Both keep the coordinates
// as 3 floats per node and give the triangles room in place.
struct FlatTarget {
  PlyData& out;
  void reset() { out = PlyData(); }
  void set_error(std::string text) { out.error = std::move(text); }
  void add_scalar_name(std::string name) { out.scalar_names.push_back(std::move(name)); }
  float* coordinates(int32_t n) { return make_room(out.coordinates, 3 * static_cast<size_t>(n)); }
  float* scalar(size_t s, int32_t n) {
    if (out.scalar_values.size() <= s) out.scalar_values.resize(s + 1);
    return make_room(out.scalar_values[s], static_cast<size_t>(n));
  }
  int32_t* triangles(int64_t most, size_t& stride) {
    stride = 3;
    return make_room(out.triangles, 3 * static_cast<size_t>(most));
  }
  void finish(int32_t n, PlyFaceLists& faces) {
    out.num_nodes = n;
    out.num_lines = static_cast<int32_t>(faces.lines.size() / 2);
    out.num_triangles = static_cast<int32_t>(faces.num_dest_triangles);
    out.num_quads = static_cast<int32_t>(faces.quads.size() / 4);
    out.triangles.resize(3 * static_cast<size_t>(faces.num_dest_triangles));
    out.lines = std::move(faces.lines);
    out.quads = std::move(faces.quads);
    out.skipped_faces = faces.skipped;
  }
};

struct RecordTarget {
  PlyMesh& out;
  std::vector<std::string> names;
  void reset() { out = PlyMesh(); }
  void set_error(std::string text) { out.error = std::move(text); }
  void add_scalar_name(std::string name) { names.push_back(std::move(name)); }
  float* coordinates(int32_t n) {
    static_assert(sizeof(Vec3) == 3 * sizeof(float));
    // No member access: the array may be empty (a null pointer).
    return reinterpret_cast<float*>(make_room(out.nodes, static_cast<size_t>(n)));
  }
  float* scalar(size_t s, int32_t n) {
    if (out.scalars.size() <= s) out.scalars.resize(s + 1);
    out.scalars[s].name = names[s];
    return make_room(out.scalars[s].values, static_cast<size_t>(n));
  }
  int32_t* triangles(int64_t most, size_t& stride) {
    static_assert(sizeof(TriangleRecord) == 4 * sizeof(int32_t));
    stride = 4;
    return reinterpret_cast<int32_t*>(make_room(out.triangles, static_cast<size_t>(most)));
  }
  // Quadrilateral (a, b, c, d) becomes (a, b, c) and (c, d, a) after all
  // triangles; segment i remembers its place in the file's list.
  void finish(int32_t, PlyFaceLists& faces) {
    const int64_t t = faces.num_dest_triangles;
    const int64_t q = static_cast<int64_t>(faces.quads.size() / 4);
    out.triangles.resize(static_cast<size_t>(t + 2 * q));
    TriangleRecord* tri = out.triangles.data() + t;
    const int32_t* quad = faces.quads.data();
#pragma omp parallel for schedule(static) if (q > 65536)
    for (int64_t i = 0; i < q; ++i) {
      const int32_t* d = quad + 4 * i;
      tri[2 * i] = {d[0], d[1], d[2], 0};
      tri[2 * i + 1] = {d[2], d[3], d[0], 0};
    }
    const int64_t l = static_cast<int64_t>(faces.lines.size() / 2);
    out.lines.resize(static_cast<size_t>(l));
    for (int64_t i = 0; i < l; ++i)
      out.lines[i] = {faces.lines[2 * i], faces.lines[2 * i + 1], static_cast<uint32_t>(i)};
    out.num_quads = static_cast<int32_t>(q);
    out.skipped_faces = faces.skipped;
  }
};

template <class Target>
bool read_into(const std::string& path, Target& target) {
  target.reset();
  auto refuse = [&](std::string text) {
    target.reset();
    target.set_error(std::move(text));
    return false;
  };
  PlyFile file;
  if (!file.open(path) || !file.read_header()) return refuse(file.error());
  const std::vector<PlyElement>& elements = file.elements();

  // The nodes come from the first non-empty element named "vertex".
  size_t vertex = elements.size();
  for (size_t i = 0; i < elements.size() && vertex == elements.size(); ++i)
    if (strcasecmp(elements[i].name.c_str(), "vertex") == 0 && elements[i].count != 0) vertex = i;
  if (vertex == elements.size()) return refuse(kNoVertexElement);
  const PlyElement& ve = elements[vertex];
  if (ve.count > kMaxCount) return refuse(too_many_nodes_text(ve.name, ve.count));
  const int32_t n = static_cast<int32_t>(ve.count);

  std::vector<PlyColumn> columns(ve.properties.size());
  std::vector<size_t> scalar_property;
  std::vector<int> axis_of(ve.properties.size(), -1);
  bool have[3] = {false, false, false};
  for (size_t k = 0; k < ve.properties.size(); ++k) {
    const PlyProperty& p = ve.properties[k];
    if (p.is_list) continue;  // a list holds no single value per node
    int axis = p.name == "x" ? 0 : p.name == "y" ? 1 : p.name == "z" ? 2 : -1;
    axis_of[k] = axis;
    if (axis >= 0) {
      have[axis] = true;
    } else {
      scalar_property.push_back(k);
      std::optional<std::string> decoded = decode_property_name(p.name);
      target.add_scalar_name(decoded ? *decoded : p.name);
    }
  }
  for (int axis = 0; axis < 3; ++axis)
    if (!have[axis]) return refuse(missing_axis_text(ve.name, axis));

  float* const coordinates = target.coordinates(n);
  for (size_t k = 0; k < ve.properties.size(); ++k)
    if (axis_of[k] >= 0) columns[k] = {coordinates + axis_of[k], 3};
  for (size_t s = 0; s < scalar_property.size(); ++s)
    columns[scalar_property[s]] = {target.scalar(s, n), 1};

  // Faces: the list property "vertex_indices" of the first element "face".
  size_t face = elements.size();
  int face_list = -1;
  for (size_t i = 0; i < elements.size(); ++i)
    if (elements[i].name == "face") {
      face_list = elements[i].find("vertex_indices");
      if (face_list >= 0) face = i;
      break;
    }
  if (face < elements.size() && !elements[face].properties[face_list].is_list)
    return refuse(kFaceListNotAList);

  PlyFaceLists faces;
  faces.triangle_dest = target.triangles(
      face < elements.size() ? file.most_triangles(face, static_cast<size_t>(face_list)) : 0,
      faces.triangle_stride);
  for (size_t i = 0; i < elements.size(); ++i) {
    bool ok = i == vertex ? file.read_columns(columns.data())
              : i == face ? file.read_faces(static_cast<size_t>(face_list), faces)
                          : file.skip_element();
    if (!ok) return refuse(file.error());
  }
  file.close();

  const int64_t num_coordinates = 3 * static_cast<int64_t>(n);
  int64_t bad = num_coordinates;
#pragma omp parallel for schedule(static) reduction(min : bad) if (num_coordinates > 262144)
  for (int64_t i = 0; i < num_coordinates; ++i)
    if (!std::isfinite(coordinates[i]) && i < bad) bad = i;
  if (bad < num_coordinates) return refuse(non_finite_coordinate_text(bad));

  const int64_t num_lines = static_cast<int64_t>(faces.lines.size() / 2);
  const int64_t num_triangles = faces.num_dest_triangles;
  const int64_t num_quads = static_cast<int64_t>(faces.quads.size() / 4);
  if (num_lines > kMaxCount || num_triangles + 2 * num_quads > kMaxCount)
    return refuse(kTooManyFaces);

  struct Kind {
    const int32_t* indices;
    int64_t count;
    int width;
    size_t stride;
    const char* name;
  } kinds[] = {{faces.lines.data(), num_lines, 2, 2, "line"},
               {faces.triangle_dest, num_triangles, 3, faces.triangle_stride, "triangle"},
               {faces.quads.data(), num_quads, 4, 4, "quadrilateral"}};
  for (const Kind& kind : kinds) {
    int64_t bad_entry = first_bad_index(kind.indices, kind.count, kind.width, kind.stride, n);
    if (bad_entry >= 0) {
      const int64_t record = bad_entry / kind.width;
      const int32_t value = kind.indices[record * kind.stride + bad_entry % kind.width];
      return refuse(face_index_text(value, kind.name, record, n));
    }
  }
  target.finish(n, faces);
  return true;
}

}  // namespace

bool read_ply(const std::string& path, PlyData& out) {
  FlatTarget target{out};
  return read_into(path, target);
}

bool read_ply_mesh(const std::string& path, PlyMesh& out) {
  RecordTarget target{out, {}};
  return read_into(path, target);
}

int64_t replace_non_finite_values(std::vector<float>& values) {
  const int64_t n = static_cast<int64_t>(values.size());
  float* v = values.data();
  int64_t replaced = 0;
#pragma omp parallel for schedule(static) reduction(+ : replaced) if (n > 262144)
  for (int64_t i = 0; i < n; ++i)
    if (!std::isfinite(v[i])) {
      v[i] = std::numeric_limits<float>::lowest();
      ++replaced;
    }
  return replaced;
}

std::unique_ptr<Object> load_ply(const std::string& path) {
  std::unique_ptr<Object> object;
  std::string message;
  const std::string file_name = after_last_separator(path, true);
  message = extension_error(path);
  if (message.empty()) {
    signal_busy(BusyEvent::Start);
    show_progress(format("Reading '%s' ...", file_name.c_str()));
    PlyMesh mesh;
    const bool read = read_ply_mesh(path, mesh);
    signal_busy(BusyEvent::Step);
    if (!read) {
      message = mesh.error.empty() ? format("Error reading file '%s'.", path.c_str()) : mesh.error;
    } else if (mesh.lines.empty() && mesh.triangles.empty()) {
      message = no_faces_text(file_name);
    } else {
      for (Scalar& field : mesh.scalars) {
        const int64_t replaced = replace_non_finite_values(field.values);
        if (replaced > 0) log_message(non_finite_values_text(field.name, replaced) + "\n");
      }
      show_progress("Creating object...");
      signal_busy(BusyEvent::Step);
      const int num_scalars = static_cast<int>(mesh.scalars.size());
      object = std::make_unique<Object>();
      object->build(std::move(mesh.nodes), std::move(mesh.lines), std::move(mesh.triangles),
                    std::move(mesh.scalars), true);
      object->set_name(after_last_separator(path, false).c_str());
      object->set_path(path.c_str());
      show_file_name(file_name);
      message = group_digits_text(format("num nodes = %d, num triangles = %d, scalars = %d",
                                         object->num_nodes(), object->num_triangles(), num_scalars),
                                  1024);
    }
  }
  signal_busy(BusyEvent::Stop);
  show_progress(message);
  log_message(message + "\n");
  return object;
}

std::unique_ptr<Object> load_default_model(const std::string& program_path) {
  if (!program_path.empty()) {
    // Beside the program: the folder of the path it was started with, or,
    // when it was found through PATH (no separator), of the running binary.
    size_t slash = program_path.rfind('/');
    if (slash == std::string::npos) slash = program_path.rfind('\\');
    std::error_code ec;
    std::string beside;
    if (slash != std::string::npos) {
      beside = program_path.substr(0, slash + 1);
    } else {
      const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
      if (!ec) beside = exe.parent_path().string() + "/";
    }
    const std::string cwd = std::filesystem::current_path(ec).string();
    // The working directory first, so that a user's own teapot.ply wins;
    // only a file that exists is read, so a missing one adds no error.
    for (const std::string& folder : {ec ? std::string() : cwd + "/", beside}) {
      if (folder.empty() || !std::filesystem::is_regular_file(folder + "teapot.ply", ec)) continue;
      if (std::unique_ptr<Object> object = load_ply(folder + "teapot.ply")) return object;
    }
  }
  return std::make_unique<Object>();
}

}  // namespace Tavrin
