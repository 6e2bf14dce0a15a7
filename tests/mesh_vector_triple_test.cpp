#include <gtest/gtest.h>

#include "mesh/object.h"

namespace Tavrin {
namespace {

TEST(MeshVectorTriple, CandidatesInOrderByCaseInsensitivePrefix) {
  struct Case {
    std::vector<std::string> names;
    int first, second, third;  // -1: no triple
    const char* description;
  } cases[] = {
      {{"nx", "ny", "nz", "red", "green", "blue"}, 3, 4, 5, "red, green, blue"},
      {{"Red_channel", "GREEN", "blueness"}, 0, 1, 2, "Red_channel, GREEN, blueness"},
      {{"vx", "vy", "r", "g", "b"}, 2, 3, 4, "r, g, b"},
      // "re" is shorter than "red", but begins with "r".
      {{"re", "green", "blue"}, 0, 1, 2, "re, green, blue"},
      {{"x_coord", "Y", "z", "x"}, 0, 1, 2, "x_coord, Y, z"},
      {{"vz", "vy", "vx", "nx", "ny", "nz"}, 2, 1, 0, "vx, vy, vz"},
      {{"red", "green"}, -1, -1, -1, ""},
      {{"", "x", "y"}, -1, -1, -1, ""},
      {{}, -1, -1, -1, ""},
  };
  for (const Case& c : cases) {
    Object o;
    o.nodes.resize(1);
    for (const std::string& n : c.names) o.scalars.push_back({n, {0.0f}});
    std::optional<VectorTriple> t = o.find_vector_triple();
    ASSERT_EQ(t.has_value(), c.first >= 0) << c.description;
    if (t) {
      EXPECT_EQ(t->first, c.first) << c.description;
      EXPECT_EQ(t->second, c.second) << c.description;
      EXPECT_EQ(t->third, c.third) << c.description;
    }
    EXPECT_EQ(o.vector_description(), c.description);
  }
}

}  // namespace
}  // namespace Tavrin
