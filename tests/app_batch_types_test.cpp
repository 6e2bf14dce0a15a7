// Every simplification type end to end through the batch program, with one
// and two threads: messages, exit status, output invariants, and identical
// files for both thread counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "hashuc/simp_type.h"
#include "tests/test_support.h"

namespace Tavrin {
namespace {

namespace fs = std::filesystem;

struct MshMesh {
  int nodes = 0;
  std::vector<std::array<long, 3>> triangles;
  std::vector<std::array<long, 2>> lines;
};

MshMesh parse_msh(const std::string& text) {
  MshMesh m;
  std::istringstream in(text);
  std::string line;
  int block = 0;  // 0 none, 1 coordinates, 2 triangle elements, 3 line elements
  bool line_mesh = false;
  while (std::getline(in, line)) {
    if (line.rfind("MESH", 0) == 0) line_mesh = line.find("Elemtype Linear") != std::string::npos;
    if (line == "Coordinates")
      block = 1;
    else if (line == "Elements")
      block = line_mesh ? 3 : 2;
    else if (line.rfind("end ", 0) == 0)
      block = 0;
    else if (block != 0) {
      std::istringstream f(line);
      long id;
      f >> id;
      if (block == 1) {
        ++m.nodes;
      } else if (block == 2) {
        std::array<long, 3> t;
        f >> t[0] >> t[1] >> t[2];
        m.triangles.push_back(t);
      } else {
        std::array<long, 2> l;
        f >> l[0] >> l[1];
        m.lines.push_back(l);
      }
    }
  }
  return m;
}

TEST(BatchProgramTypes, EveryTypeRunsWithOneAndTwoThreads) {
  const std::string dir = test::temp_dir("types");
  const std::string input = dir + "/bunny.ply";
  fs::copy_file(test::data_path("bunny_attrs.ply"), input);
  for (int t = 0; t < kSimpTypeCount; ++t) {
    const simp_type type = static_cast<simp_type>(t);
    const std::string keyword = simp_type_keyword(type);
    SCOPED_TRACE(keyword);
    const std::string base = dir + "/bunny_simp_" + keyword + "_0032";
    std::string files[2];
    for (int threads = 1; threads <= 2; ++threads) {
      test::RunResult r =
          test::run_command(test::binary_path("tavrin") + " " + input + " " + keyword + " 32",
                            "OMP_NUM_THREADS=" + std::to_string(threads));
      ASSERT_EQ(r.status, 0) << r.output;
      const std::string& out = r.output;
      EXPECT_NE(out.find(std::string("Simplification using '") + simp_type_name(type) + "' ( " +
                         simp_type_short_name(type) + ")\n"),
                std::string::npos);
      EXPECT_NE(out.find(std::string(simp_type_short_name(type)) + "[ 32:1] v: "),
                std::string::npos);
      EXPECT_NE(out.find("\tSTATS   create: "), std::string::npos);
      EXPECT_NE(out.find("Files '" + base + ".msh' and '" + base + ".res' saved.\n"),
                std::string::npos);
      if (type == HASH_UC_SINGLE) {
        EXPECT_NE(out.find("\tSTATS   functions = "), std::string::npos);
      }
      if (type == HASH_UC_COHERENT) {
        EXPECT_NE(out.find("\tSTATS   Max age = "), std::string::npos);
      }

      files[threads - 1] = test::read_file(base + ".msh") + test::read_file(base + ".res");
      MshMesh m = parse_msh(test::read_file(base + ".msh"));
      EXPECT_GT(m.nodes, 0);
      EXPECT_GT(m.triangles.size(), 0u);
      std::set<std::array<long, 3>> seen;
      for (std::array<long, 3> tri : m.triangles) {
        for (long n : tri) {
          EXPECT_GE(n, 1);
          EXPECT_LE(n, m.nodes);
        }
        EXPECT_TRUE(tri[0] != tri[1] && tri[1] != tri[2] && tri[0] != tri[2]);
        std::sort(tri.begin(), tri.end());
        EXPECT_TRUE(seen.insert(tri).second) << "duplicate triangle";
      }
      for (const std::array<long, 2>& l : m.lines) EXPECT_NE(l[0], l[1]);
    }
    EXPECT_TRUE(files[0] == files[1]) << "output differs between 1 and 2 threads";
  }
}

}  // namespace
}  // namespace Tavrin
