// End-to-end runs of tavrin-octree: its usage text, the lines that say when
// the maximum error left no choice between the levels, and the original
// mesh with its per-node error fields.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/test_support.h"

namespace Tavrin {
namespace {

namespace fs = std::filesystem;

std::string octree() { return test::binary_path("tavrin-octree"); }

TEST(OctreeTool, HelpSaysWhatTheMaximumErrorIs) {
  for (const char* help : {"--help", "-h", "/?"}) {
    test::RunResult r = test::run_command(octree() + " " + help);
    EXPECT_EQ(r.status, 0) << help;
    EXPECT_EQ(r.output.rfind("Usage: " + octree() + " MESH.ply MAX_ERROR", 0), 0u) << r.output;
    EXPECT_NE(r.output.find("so it is not a distance"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Useful values lie between about 1e-8"), std::string::npos);
    EXPECT_NE(r.output.find("\"error qef\""), std::string::npos);
  }
  // A wrong number of arguments still fails, with the same text.
  test::RunResult r = test::run_command(octree() + " only-one");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("not a distance"), std::string::npos);
}

TEST(OctreeTool, SaysWhenTheErrorLeftNoChoice) {
  const std::string dir = test::temp_dir("octree_tool");
  fs::copy_file(test::data_path("teapot.ply"), dir + "/t.ply");
  struct Row {
    const char* error;
    std::string line;  // "" = neither line
  } rows[] = {
      {"1",
       "Maximum error 1 is at or above the error of every cell of the coarsest level (at most "},
      {"0.001", "Maximum error 0.001 is at or above the error of every cell of the coarsest level"},
      {"1e-4", ""},
      {"1e-30", "Maximum error 1e-30 is below the error of every cell (at least "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.error);
    test::RunResult r = test::run_command(octree() + " " + dir + "/t.ply " + row.error);
    ASSERT_EQ(r.status, 0) << r.output;
    if (row.line.empty()) {
      EXPECT_EQ(r.output.find("Maximum error"), std::string::npos) << r.output;
    } else {
      EXPECT_NE(r.output.find(row.line), std::string::npos) << r.output;
    }
  }
}

// The error fields the README promises reach a file: the original mesh,
// with its own fields followed by "error qef" and "error dist".
TEST(OctreeTool, WritesTheOriginalWithItsErrorFields) {
  const std::string dir = test::temp_dir("octree_errors");
  fs::copy_file(test::data_path("ico_le.ply"), dir + "/i.ply");
  test::RunResult r =
      test::run_command(octree() + " " + dir + "/i.ply 1e-6 " + dir + "/s.msh " + dir + "/e.msh");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("File '" + dir + "/e.msh' saved."), std::string::npos) << r.output;
  const std::string res = test::read_file(dir + "/e.res");
  const size_t qef = res.find("Result \"error qef\" \"Tavrin\" 1e-06 Scalar OnNodes\nValues\n");
  const size_t dist = res.find("Result \"error dist\" \"Tavrin\" 1e-06 Scalar OnNodes\nValues\n");
  ASSERT_NE(qef, std::string::npos) << res;
  ASSERT_NE(dist, std::string::npos) << res;
  EXPECT_LT(qef, dist);
  // One value per original node (the icosahedron has 12).
  EXPECT_NE(res.find("\n12 ", dist), std::string::npos);
  EXPECT_EQ(res.find("\n13 ", dist), std::string::npos);
  // As PLY too; an unknown extension is refused before anything is written.
  r = test::run_command(octree() + " " + dir + "/i.ply 1e-6 " + dir + "/s.ply " + dir + "/e.ply");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(test::read_file(dir + "/e.ply").find("property float error%20qef\n"),
            std::string::npos);
  r = test::run_command(octree() + " " + dir + "/i.ply 1e-6 " + dir + "/x.msh " + dir + "/e.obj");
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(fs::exists(dir + "/x.msh"));
}

}  // namespace
}  // namespace Tavrin
