#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "tavrin/tavrin.h"

namespace {

// The library refuses a mesh with the sentences the PLY readers use for the
// same fault.
TEST(ApiCheckMesh, RefusalsAreTheReadersSentences) {
  const float good[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  const float bad[9] = {0, 0, 0, 1, NAN, 0, 0, 1, 0};
  const uint32_t triangle[3] = {0, 1, 2}, wrapped[3] = {0, 0xFFFFFFFFu, 2};
  const uint32_t lines[4] = {0, 1, 1, 5};
  struct Case {
    tavrin::MeshView mesh;
    std::string says;
  } cases[] = {
      {{good, 3, triangle, 1, nullptr, 0, nullptr, 0}, ""},
      {{good, size_t{2147483648u}, triangle, 1, nullptr, 0, nullptr, 0},
       "Element 'vertex' has 2147483648 instances, more than the 2147483647 nodes supported"},
      {{good, SIZE_MAX, triangle, 1, nullptr, 0, nullptr, 0},
       "Element 'vertex' has 18446744073709551615 instances, more than the 2147483647 nodes "
       "supported"},
      {{good, 3, triangle, size_t{2147483648u}, nullptr, 0, nullptr, 0},
       "Too many faces: more than 2147483647 triangles or lines"},
      {{bad, 3, triangle, 1, nullptr, 0, nullptr, 0}, "Vertex 1 has a non-finite coordinate y"},
      {{good, 3, wrapped, 1, nullptr, 0, nullptr, 0},
       "Face index -1 of triangle 0 (element 'face') is outside the nodes 0..2"},
      {{good, 3, triangle, 1, lines, 2, nullptr, 0},
       "Face index 5 of line 1 (element 'face') is outside the nodes 0..2"},
  };
  for (const Case& c : cases) EXPECT_EQ(tavrin::check_mesh(c.mesh), c.says);
}

}  // namespace
