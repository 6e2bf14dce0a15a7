// End-to-end runs on meshes a scan does not usually give: field values that
// are not finite, nodes that no triangle uses, grids beyond what a cell
// table can key.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "hashuc/simp_type.h"
#include "tests/test_support.h"

namespace Tavrin {
namespace {

std::string tavrin() { return test::binary_path("tavrin"); }

size_t count_of(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The coordinates block of a .msh file, one entry per node.
std::vector<std::vector<double>> msh_nodes(const std::string& msh) {
  std::vector<std::vector<double>> nodes;
  std::istringstream in(msh.substr(msh.find("Coordinates\n") + 12));
  std::string line;
  while (std::getline(in, line) && line != "end coordinates") {
    std::istringstream fields(line);
    int number;
    double x, y, z;
    fields >> number >> x >> y >> z;
    nodes.push_back({x, y, z});
  }
  return nodes;
}

// A 4 x 4 patch of triangles with one field; three of its nodes hold NaN,
// +Inf and -Inf. On a 2-cell grid those nodes share cells with finite ones.
TEST(BatchOddMeshes, NonFiniteFieldValuesNeverReachTheResults) {
  const std::string dir = test::temp_dir("odd_nonfinite");
  std::ostringstream ply;
  ply << "ply\nformat ascii 1.0\nelement vertex 16\nproperty float x\nproperty float y\n"
         "property float z\nproperty float f\nelement face 18\n"
         "property list uchar int vertex_indices\nend_header\n";
  for (int i = 0; i < 16; ++i) {
    const char* value = i == 5 ? "nan" : i == 6 ? "inf" : i == 9 ? "-inf" : nullptr;
    ply << i % 4 << " " << i / 4 << " " << 0.1 * (i % 3) << " ";
    if (value)
      ply << value << "\n";
    else
      ply << i << "\n";
  }
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) {
      const int a = 4 * y + x;
      ply << "3 " << a << " " << a + 1 << " " << a + 5 << "\n3 " << a << " " << a + 5 << " "
          << a + 4 << "\n";
    }
  std::ofstream(dir + "/p.ply") << ply.str();

  for (const char* type : {"HASH_UC", "HASH_UC_ACC", "HASH_UC_SCALAR"}) {
    SCOPED_TRACE(type);
    test::RunResult r = test::run_command(tavrin() + " " + dir + "/p.ply " + type + " 2");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(count_of(r.output,
                       "Field 'f': 3 values that are not finite (NaN or infinite) are taken as no "
                       "value.\n"),
              1u)
        << r.output;
    const std::string res = test::read_file(dir + "/p_simp_" + std::string(type) + "_0002.res");
    const size_t f = res.find("Result \"f\"");
    ASSERT_NE(f, std::string::npos) << res;
    std::istringstream values(res.substr(res.find("Values\n", f) + 7));
    std::string line;
    int count = 0;
    while (std::getline(values, line) && line != "end values") {
      std::istringstream fields(line);
      std::string number, value;
      fields >> number >> value;
      EXPECT_TRUE(std::isfinite(std::stod(value))) << line;
      ++count;
    }
    EXPECT_GT(count, 0);
    EXPECT_EQ(res.find("nan"), std::string::npos);
    EXPECT_EQ(res.find("inf"), std::string::npos);
  }
}

// One triangle, a distant line segment and a node used by nothing: the cells
// of the segment and of the lone node hold no triangle corner, and their
// output nodes must sit at their nodes, not at the centre of the box.
TEST(BatchOddMeshes, CellsWithoutTriangleCornersSitAtTheirNodes) {
  const std::string dir = test::temp_dir("odd_cornerless");
  const std::vector<std::vector<double>> input = {{0, 0, 0},    {1, 0, 0},    {0, 1, 0},
                                                  {10, 10, 10}, {10, 10, 11}, {-5, 3, 2}};
  std::ofstream(dir + "/t.ply") << "ply\nformat ascii 1.0\nelement vertex 6\nproperty float x\n"
                                   "property float y\nproperty float z\nelement face 2\n"
                                   "property list uchar int vertex_indices\nend_header\n"
                                   "0 0 0\n1 0 0\n0 1 0\n10 10 10\n10 10 11\n-5 3 2\n"
                                   "3 0 1 2\n2 3 4\n";
  for (int t = 0; t < kSimpTypeCount; ++t) {
    const std::string type = simp_type_keyword(static_cast<simp_type>(t));
    SCOPED_TRACE(type);
    test::RunResult r = test::run_command(tavrin() + " " + dir + "/t.ply " + type + " 16");
    ASSERT_EQ(r.status, 0) << r.output;
    const auto nodes =
        msh_nodes(test::read_file(dir + "/t_simp_" + std::string(type) + "_0016.msh"));
    // The adaptive normal types number only cells with corners and drop
    // the others; every other type keeps one node per occupied cell.
    const bool adaptive = std::string(type).find("ADAPT") != std::string::npos ||
                          std::string(type).find("TEMP_NORMAL") != std::string::npos;
    ASSERT_EQ(nodes.size(), adaptive ? 3u : input.size());
    for (const auto& p : nodes) {
      double nearest = 1e30;
      for (const auto& q : input)
        nearest = std::min(nearest, std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]));
      EXPECT_LT(nearest, 1e-4) << p[0] << " " << p[1] << " " << p[2];
    }
  }
}

// The coherent table keeps an age in the top byte of its key words, so a
// grid whose cell keys reach 2^56 cannot be held; the failure says so.
TEST(BatchOddMeshes, CoherentGridLimitIsExplained) {
  const std::string dir = test::temp_dir("odd_coherent");
  std::ifstream src(test::data_path("ico_le.ply"), std::ios::binary);
  std::ofstream(dir + "/i.ply", std::ios::binary) << src.rdbuf();
  test::RunResult r = test::run_command(tavrin() + " " + dir + "/i.ply HASH_UC_COHERENT 1048576");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_EQ(count_of(r.output,
                     "ERROR: FAILED TO CREATE COHERENT PARALLEL HASH: its cell keys must "
                     "stay below 2^56"),
            1u)
      << r.output;
  // Well below the limit it works.
  r = test::run_command(tavrin() + " " + dir + "/i.ply HASH_UC_COHERENT 100000");
  EXPECT_EQ(r.status, 0) << r.output;
}

}  // namespace
}  // namespace Tavrin
