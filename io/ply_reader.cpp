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

#include "app/core/globals.h"
#include "app/core/group_digits.h"
#include "app/core/messages.h"
#include "io/ply_file.h"

namespace Tavrin {

namespace {

constexpr int64_t kMaxCount = std::numeric_limits<int32_t>::max();

// The part of a path after its last '/', failing that its last '\'.
std::string after_last_separator(const std::string& path, bool whole_when_none) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) slash = path.rfind('\\');
  if (slash == std::string::npos) return whole_when_none ? path : std::string();
  return path.substr(slash + 1);
}

// Position of the first entry of `indices` outside 0..num_nodes-1, or -1.
int64_t first_bad_index(const std::vector<int32_t>& indices, int32_t num_nodes) {
  const uint32_t limit = static_cast<uint32_t>(num_nodes);
  const int64_t n = static_cast<int64_t>(indices.size());
  const int32_t* v = indices.data();
  int64_t first = n;
#pragma omp parallel for schedule(static) reduction(min : first) if (n > 262144)
  for (int64_t i = 0; i < n; ++i)
    if (static_cast<uint32_t>(v[i]) >= limit && i < first) first = i;
  return first < n ? first : -1;
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
      if (hi < 0 || lo < 0) return std::nullopt;
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

bool read_ply(const std::string& path, PlyData& out) {
  out = PlyData();
  auto refuse = [&](std::string text) {
    out = PlyData();
    out.error = std::move(text);
    return false;
  };
  PlyFile file;
  if (!file.open(path) || !file.read_header()) return refuse(file.error());
  const std::vector<PlyElement>& elements = file.elements();

  // The nodes come from the first non-empty element named "vertex".
  size_t vertex = elements.size();
  for (size_t i = 0; i < elements.size() && vertex == elements.size(); ++i)
    if (strcasecmp(elements[i].name.c_str(), "vertex") == 0 && elements[i].count != 0) vertex = i;
  if (vertex == elements.size()) return refuse("No element 'vertex' with at least one instance");
  const PlyElement& ve = elements[vertex];
  if (ve.count > kMaxCount)
    return refuse(format("Element '%s' has %lld instances, more than the %lld nodes supported",
                         ve.name.c_str(), static_cast<long long>(ve.count),
                         static_cast<long long>(kMaxCount)));
  const int32_t n = static_cast<int32_t>(ve.count);

  std::vector<PlyColumn> columns(ve.properties.size());
  std::vector<size_t> scalar_property;
  bool have[3] = {false, false, false};
  for (size_t k = 0; k < ve.properties.size(); ++k) {
    const PlyProperty& p = ve.properties[k];
    if (p.is_list) continue;  // a list holds no single value per node
    int axis = p.name == "x" ? 0 : p.name == "y" ? 1 : p.name == "z" ? 2 : -1;
    if (axis >= 0) {
      have[axis] = true;
    } else {
      scalar_property.push_back(k);
      std::optional<std::string> decoded = decode_property_name(p.name);
      out.scalar_names.push_back(decoded ? *decoded : p.name);
    }
  }
  for (int axis = 0; axis < 3; ++axis)
    if (!have[axis])
      return refuse(format("Element '%s' has no property '%c'", ve.name.c_str(), "xyz"[axis]));

  out.coordinates.reserve(3 * static_cast<size_t>(n));
  advise_huge_pages(out.coordinates.data(), 3 * static_cast<size_t>(n) * sizeof(float));
  out.coordinates.resize(3 * static_cast<size_t>(n));
  out.scalar_values.resize(scalar_property.size());
  for (size_t k = 0; k < ve.properties.size(); ++k) {
    const std::string& name = ve.properties[k].name;
    if (ve.properties[k].is_list) continue;
    int axis = name == "x" ? 0 : name == "y" ? 1 : name == "z" ? 2 : -1;
    if (axis >= 0) columns[k] = {out.coordinates.data() + axis, 3};
  }
  for (size_t s = 0; s < scalar_property.size(); ++s) {
    out.scalar_values[s].reserve(n);
    advise_huge_pages(out.scalar_values[s].data(), static_cast<size_t>(n) * sizeof(float));
    out.scalar_values[s].resize(n);
    columns[scalar_property[s]] = {out.scalar_values[s].data(), 1};
  }

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
    return refuse("Property 'vertex_indices' of element 'face' is not a list");

  PlyFaceLists faces;
  for (size_t i = 0; i < elements.size(); ++i) {
    bool ok = i == vertex ? file.read_columns(columns.data())
              : i == face ? file.read_faces(static_cast<size_t>(face_list), faces)
                          : file.skip_element();
    if (!ok) return refuse(file.error());
  }
  file.close();

  const int64_t num_coordinates = static_cast<int64_t>(out.coordinates.size());
  const float* coordinates = out.coordinates.data();
  int64_t bad = num_coordinates;
#pragma omp parallel for schedule(static) reduction(min : bad) if (num_coordinates > 262144)
  for (int64_t i = 0; i < num_coordinates; ++i)
    if (!std::isfinite(coordinates[i]) && i < bad) bad = i;
  if (bad < num_coordinates)
    return refuse(format("Vertex %lld has a non-finite coordinate %c",
                         static_cast<long long>(bad / 3), "xyz"[bad % 3]));

  const int64_t num_lines = static_cast<int64_t>(faces.lines.size() / 2);
  const int64_t num_triangles = static_cast<int64_t>(faces.triangles.size() / 3);
  const int64_t num_quads = static_cast<int64_t>(faces.quads.size() / 4);
  if (num_lines > kMaxCount || num_triangles + 2 * num_quads > kMaxCount)
    return refuse("Too many faces: more than 2147483647 triangles or lines");

  struct Kind {
    const std::vector<int32_t>& indices;
    int width;
    const char* name;
  } kinds[] = {{faces.lines, 2, "line"}, {faces.triangles, 3, "triangle"}, {faces.quads, 4, "quadrilateral"}};
  for (const Kind& kind : kinds) {
    int64_t bad = first_bad_index(kind.indices, n);
    if (bad >= 0)
      return refuse(format("Face index %d of %s %lld (element 'face') is outside the nodes 0..%d",
                           kind.indices[bad], kind.name, static_cast<long long>(bad / kind.width),
                           n - 1));
  }

  out.num_nodes = n;
  out.num_lines = static_cast<int32_t>(num_lines);
  out.num_triangles = static_cast<int32_t>(num_triangles);
  out.num_quads = static_cast<int32_t>(num_quads);
  out.lines = std::move(faces.lines);
  out.triangles = std::move(faces.triangles);
  out.quads = std::move(faces.quads);
  out.skipped_faces = faces.skipped;
  return true;
}

std::unique_ptr<Object> load_ply(const std::string& path) {
  const bool interactive = !batch_mode;
  std::unique_ptr<Object> object;
  std::string message;
  const std::string file_name = after_last_separator(path, true);
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) {
    message = "No extension. Only PLY files are supported";
  } else if (strcasecmp(path.c_str() + dot, ".ply") != 0) {
    message = "Unsopported extension. Only PLY files are supported";
  } else {
    if (interactive) show_status(format("Reading '%s' ...", file_name.c_str()));
    PlyData data;
    if (!read_ply(path, data)) {
      message = data.error.empty() ? format("Error reading file '%s'.", path.c_str()) : data.error;
    } else if (data.num_lines + data.num_triangles + data.num_quads == 0) {
      message = format("No faces in '%s': it needs an element 'face' with a list property "
                       "'vertex_indices' of at least 2 indices",
                       file_name.c_str());
    } else {
      if (interactive) show_status("Creating object...");
      std::vector<const float*> values;
      std::vector<const char*> names;
      for (size_t k = 0; k < data.scalar_values.size(); ++k) {
        values.push_back(data.scalar_values[k].data());
        names.push_back(data.scalar_names[k].c_str());
      }
      values.push_back(nullptr);
      names.push_back(nullptr);
      const bool have_scalars = !data.scalar_values.empty();
      object = std::make_unique<Object>();
      object->build(data.num_nodes, data.num_lines, data.num_triangles, data.num_quads,
                    data.coordinates.data(), data.lines.data(), data.triangles.data(),
                    data.quads.data(), have_scalars ? values.data() : nullptr,
                    have_scalars ? names.data() : nullptr);
      object->set_name(after_last_separator(path, false).c_str());
      object->set_path(path.c_str());
      object->add_boundary_scalar();
      if (interactive) show_status(file_name);
      message = group_digits_text(
          format("num nodes = %d, num triangles = %d, scalars = %d", data.num_nodes,
                 data.num_triangles + 2 * data.num_quads,
                 static_cast<int>(data.scalar_values.size())),
          1024);
    }
  }
  if (interactive) show_status(message);
  log_message(message + "\n");
  return object;
}

std::unique_ptr<Object> load_default_model(const std::string& program_path) {
  if (!program_path.empty()) {
    size_t slash = program_path.rfind('/');
    if (slash == std::string::npos) slash = program_path.rfind('\\');
    std::string dir = slash == std::string::npos ? std::string() : program_path.substr(0, slash + 1);
    if (std::unique_ptr<Object> object = load_ply(dir + "teapot.ply")) return object;
    std::error_code ec;
    std::string cwd = std::filesystem::current_path(ec).string();
    if (!ec)
      if (std::unique_ptr<Object> object = load_ply(cwd + "/teapot.ply")) return object;
  }
  return std::make_unique<Object>();
}

}  // namespace Tavrin
