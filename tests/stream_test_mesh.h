// A small mesh written as binary PLY that exercises every part of a
// streamed read; shared by the streaming tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <string>

namespace Tavrin::test {

// A 7 x 7 node sheet (open: it has a boundary), two nodes of no face and a
// triangle alone in its cell,
// written as binary PLY with nine fields, some values not finite, an
// element between the vertices and the faces, and faces of every length
// with a property after the list: triangles (two degenerate),
// quadrilaterals, pentagons, a line and a single index.
inline void write_sheet(const std::string& path, bool big_endian) {
  const int side = 7, n = side * side + 5;
  const float extra[5][3] = {
      {0.5f, -2, 0}, {1.5f, -2, 0}, {3.2f, -5, 0}, {3.4f, -5, 0.1f}, {3.3f, -4.8f, 0.05f}};
  std::string body;
  auto put = [&](const void* p, size_t bytes) {
    std::string b(static_cast<const char*>(p), bytes);
    if (big_endian) std::reverse(b.begin(), b.end());
    body += b;
  };
  for (int i = 0; i < n; ++i) {
    if (i < side * side) {
      const float x = static_cast<float>(i % side), y = static_cast<float>(i / side);
      const float z = 0.3f * std::sin(x) * std::cos(1.7f * y);
      for (float v : {x, y, z}) put(&v, 4);
    } else {
      for (float v : extra[i - side * side]) put(&v, 4);
    }
    for (int k = 0; k < 9; ++k) {
      float v = std::sin(static_cast<float>(i * (k + 1)));
      if ((i + k) % 11 == 0) v = std::numeric_limits<float>::quiet_NaN();
      if ((i * k) % 17 == 5) v = std::numeric_limits<float>::infinity();
      put(&v, 4);
    }
  }
  for (int e = 0; e < 3; ++e) {  // element "edge": two ints
    const int32_t ab[2] = {e, e + 1};
    put(&ab[0], 4);
    put(&ab[1], 4);
  }
  int faces = 0;
  auto face = [&](std::initializer_list<int32_t> idx) {
    body += static_cast<char>(idx.size());
    for (int32_t v : idx) put(&v, 4);
    body += static_cast<char>(faces % 3);  // "flag"
    ++faces;
  };
  for (int y = 0; y + 1 < side; ++y)
    for (int x = 0; x + 1 < side; ++x) {
      const int32_t a = y * side + x, b = a + 1, c = a + side + 1, d = a + side;
      if ((x + y) % 3 == 0)
        face({a, b, c, d});
      else if ((x + y) % 3 == 1 || y == 3) {
        face({a, b, c});
        face({a, c, d});
      } else {
        face({a, b, c, d, a});
      }
    }
  face({0, 8});
  face({5});
  face({0, 0, 1});
  face({2, 3, 2});
  face({side * side + 2, side * side + 3, side * side + 4});
  std::ofstream f(path, std::ios::binary);
  f << "ply\nformat " << (big_endian ? "binary_big_endian" : "binary_little_endian")
    << " 1.0\nelement vertex " << n << "\nproperty float x\nproperty float y\nproperty float z\n";
  const char* names[9] = {"vx", "vy", "vz", "red", "green", "blue", "temp%20C", "a", "b"};
  for (const char* name : names) f << "property float " << name << "\n";
  f << "element edge 3\nproperty int vertex1\nproperty int vertex2\nelement face " << faces
    << "\nproperty list uchar int vertex_indices\nproperty uchar flag\nend_header\n"
    << body;
}

}  // namespace Tavrin::test
