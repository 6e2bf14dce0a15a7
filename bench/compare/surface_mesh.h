// A plain triangle mesh for the comparison tools, read from a PLY file (any
// of its quadrilaterals split in two) or from a GiD .msh file (its triangle
// elements; other element types are ignored).
#pragma once

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/vec3.h"
#include "io/ply_reader.h"

namespace Tavrin {

struct SurfaceMesh {
  std::vector<Vec3> nodes;
  std::vector<int32_t> triangles;  // 3 node indices per triangle

  int64_t triangle_count() const { return static_cast<int64_t>(triangles.size() / 3); }
  Box bounds() const {
    Box b;
    for (const Vec3& p : nodes)
      for (int k = 0; k < 3; ++k) {
        if (p[k] < b.min[k]) b.min[k] = p[k];
        if (p[k] > b.max[k]) b.max[k] = p[k];
      }
    return b;
  }
};

inline bool ends_with_ignoring_case(const std::string& s, const char* suffix) {
  const size_t n = std::strlen(suffix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) return false;
  return true;
}

// Reads the triangle elements of a GiD mesh file. Node ids are the 1-based
// positions the writer gives them; an element naming an unknown node fails.
inline bool read_gid_triangles(const std::string& path, SurfaceMesh& mesh, std::string& error) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    error = "cannot open " + path;
    return false;
  }
  mesh = SurfaceMesh();
  std::vector<int64_t> ids;  // id of each node in file order
  enum { None, Coordinates, Elements } section = None;
  bool triangle_block = false;
  std::vector<char> line(1 << 16);
  bool ok = true;
  while (ok && std::fgets(line.data(), static_cast<int>(line.size()), f)) {
    char* s = line.data();
    while (*s == ' ' || *s == '\t') ++s;
    if (*s == '#' || *s == '\n' || *s == '\r' || *s == 0) continue;
    if (std::isalpha(static_cast<unsigned char>(*s))) {
      std::string word(s);
      for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (word.rfind("mesh", 0) == 0)
        triangle_block = word.find("elemtype triangle") != std::string::npos;
      else if (word.rfind("coordinates", 0) == 0)
        section = Coordinates;
      else if (word.rfind("elements", 0) == 0)
        section = Elements;
      else if (word.rfind("end", 0) == 0)
        section = None;
      continue;
    }
    char* end = nullptr;
    const long long id = std::strtoll(s, &end, 10);
    if (section == Coordinates) {
      float v[3];
      for (float& x : v) {
        s = end;
        x = std::strtof(s, &end);
        ok = ok && end != s;
      }
      mesh.nodes.emplace_back(v[0], v[1], v[2]);
      ids.push_back(id);
    } else if (section == Elements && triangle_block) {
      for (int k = 0; k < 3; ++k) {
        s = end;
        const long long node = std::strtoll(s, &end, 10);
        ok = ok && end != s;
        mesh.triangles.push_back(static_cast<int32_t>(node - 1));
      }
    }
  }
  std::fclose(f);
  if (!ok) {
    error = "malformed line in " + path;
    return false;
  }
  for (size_t i = 0; i < ids.size(); ++i)
    if (ids[i] != static_cast<int64_t>(i) + 1) {
      error = "node ids of " + path + " are not 1, 2, 3, ...";
      return false;
    }
  for (int32_t v : mesh.triangles)
    if (v < 0 || v >= static_cast<int32_t>(mesh.nodes.size())) {
      error = "an element of " + path + " names an unknown node";
      return false;
    }
  return true;
}

// Reads a .msh file as GiD, anything else as PLY.
inline bool read_surface_mesh(const std::string& path, SurfaceMesh& mesh, std::string& error) {
  if (ends_with_ignoring_case(path, ".msh")) return read_gid_triangles(path, mesh, error);
  PlyData data;
  if (!read_ply(path, data)) {
    error = data.error.empty() ? "cannot read " + path : data.error;
    return false;
  }
  mesh = SurfaceMesh();
  mesh.nodes.resize(static_cast<size_t>(data.num_nodes));
  for (int32_t i = 0; i < data.num_nodes; ++i)
    mesh.nodes[i] =
        Vec3(data.coordinates[3 * i], data.coordinates[3 * i + 1], data.coordinates[3 * i + 2]);
  mesh.triangles = std::move(data.triangles);
  for (int32_t q = 0; q < data.num_quads; ++q) {
    const int32_t* d = &data.quads[4 * static_cast<size_t>(q)];
    mesh.triangles.insert(mesh.triangles.end(), {d[0], d[1], d[2], d[2], d[3], d[0]});
  }
  return true;
}

}  // namespace Tavrin
