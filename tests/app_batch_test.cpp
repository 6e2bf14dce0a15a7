// End-to-end runs of the batch program: messages, exit status, output files.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "hashuc/simp_type.h"
#include "tests/test_support.h"

namespace Tavrin {
namespace {

namespace fs = std::filesystem;
using test::run_command;

std::string tavrin() { return test::binary_path("tavrin"); }

// A copy of a test mesh in a fresh directory; returns its path.
std::string copy_mesh(const std::string& name, const std::string& as) {
  std::string dir = test::temp_dir("batch");
  fs::copy_file(test::data_path(name), dir + "/" + as);
  return dir + "/" + as;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

TEST(BatchProgram, UsageAndArgumentErrors) {
  const std::string usage_head =
      "Usage: " + tavrin() + " filename [ simp_type grid_size] [ load_factor]";
  const std::string no_display = tavrin() +
                                 ": no display could be opened; to run it without one, use a "
                                 "virtual display: xvfb-run -a " +
                                 tavrin() + " FILE.ply";
  struct Case {
    std::string args;
    int status;
    std::string first_line;  // expected first line ("" = usage)
  } cases[] = {
      {"/HELP", 0, ""},
      {"--help", 0, ""},
#ifdef TAVRIN_TEST_VIEWER
      // The viewer's road, refused without a display.
      {"", 1, no_display},
      {"a.ply", 1, no_display},
#else
      {"", 2,
       "This build of tavrin has no viewer: give a file, a simplification type and a grid size."},
      {"a.ply", 2,
       "This build of tavrin has no viewer: give a file, a simplification type and a grid size."},
#endif
      {"a.ply HASH_UC", 2, "Wrong number of arguments (2)."},
      {"a.ply HASH_UC 64 1.1 extra", 2, "Wrong number of arguments (5)."},
      {"a.ply HASH_UC 0", 2,
       "Invalid grid size '0': give a whole number of cells per axis from 1 to 1048576."},
      {"a.ply HASH_UC abc", 2,
       "Invalid grid size 'abc': give a whole number of cells per axis from 1 to 1048576."},
      {"a.ply HASH_UC 1048577", 2,
       "Grid size 1048577 is too large: at most 1048576 cells per axis are supported."},
      {"a.ply HASH_UC 64 -1", 2, "Invalid load factor '-1': give a finite number of 0 or more."},
      {"a.ply HASH_UC 64 nan", 2, "Invalid load factor 'nan': give a finite number of 0 or more."},
      {"a.ply HASH_UC 64 inf", 2, "Invalid load factor 'inf': give a finite number of 0 or more."},
      {"a.ply HASH_UC 64 abc", 2, "Invalid load factor 'abc': give a finite number of 0 or more."},
      {"a.ply HASH_UC 64 1.1x", 2,
       "Invalid load factor '1.1x': give a finite number of 0 or more."},
      {"a.ply HASH_UC 64 ''", 2, "Invalid load factor '': give a finite number of 0 or more."},
  };
  for (const Case& c : cases) {
    // Without a display, so that the viewer's road is refused, never opened.
    test::RunResult r = run_command("env -u DISPLAY " + tavrin() + " " + c.args);
    EXPECT_EQ(r.status, c.status) << c.args;
    std::vector<std::string> lines = lines_of(r.output);
    ASSERT_FALSE(lines.empty()) << c.args;
    EXPECT_EQ(lines[0], c.first_line.empty() ? usage_head : c.first_line) << c.args;
    const bool with_usage =
        c.status == 0 || c.first_line.rfind("Wrong", 0) == 0 || c.first_line.rfind("This", 0) == 0;
    if (with_usage) {
      // The usage text names all eleven types.
      for (int t = 0; t < kSimpTypeCount; ++t) {
        const std::string keyword = simp_type_keyword(static_cast<simp_type>(t));
        EXPECT_TRUE(r.output.find(keyword + ",") != std::string::npos ||
                    r.output.find(keyword + "\n") != std::string::npos)
            << c.args << " " << keyword;
      }
    }
  }
}

TEST(BatchProgram, UnreadableInputsFailWithTheReadersMessage) {
  std::string dir = test::temp_dir("batch_bad");
  struct Case {
    std::string file;
    std::string message;
  } cases[] = {
      {dir + "/missing.ply", "Unable to open file"},
      {dir + "/model", "No extension. Only PLY files are supported"},
      {dir + "/model.ply.gz", "Unsopported extension. Only PLY files are supported"},
  };
  for (const Case& c : cases) {
    test::RunResult r = run_command(tavrin() + " " + c.file + " HASH_UC 64");
    EXPECT_NE(r.status, 0) << c.file;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("saved"), std::string::npos);
  }
  // A directory given as the file.
  fs::create_directory(dir + "/folder.ply");
  test::RunResult r = run_command(tavrin() + " " + dir + "/folder.ply HASH_UC 64");
  EXPECT_NE(r.status, 0);
}

TEST(BatchProgram, SimplifiesAndWritesTheGidPair) {
  const std::string input = copy_mesh("teapot.ply", "model.ply");
  const std::string dir = fs::path(input).parent_path().string();
  test::RunResult r = run_command(tavrin() + " " + input + " HASH_UC 64");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string base = dir + "/model_simp_HASH_UC_0064";
  std::vector<std::string> lines = lines_of(r.output);
  const std::string num = "[0-9.,]+";
  const std::vector<std::string> expected = {
      "model\\.ply \\| Simplifying with a 64 grid using Hash UC with qefs\\.",
      "Reading " + input + " \\.\\.\\.",
      "num nodes = 2\\.049, num triangles = 4\\.032, scalars = 0",
      "Simplification using 'Hash UC with qefs' \\( HUC\\)",
      "HUC\\[ 64:1\\] v: " + num + " t: " + num + " l: " + num + " in " + num + " s\\. \\( " + num +
          " \\+ " + num + "\\) Mem = " + num + " KB",
      "\tSTATS   create: " + num + "   submit: " + num + "   optimal: " + num +
          "   simplify: " + num + "   normals: " + num + "   total: " + num,
      "\tSTATS   clear: " + num + "   interpolate: " + num + "   delete: " + num +
          "   total: " + num,
      "HUC\\[ 64\\] v: " + num + " t: " + num + " l: " + num + " in " + num + " s\\. \\( " + num +
          " \\+ " + num + "\\)",
      "Error: max [0-9.e-]+, rms [0-9.e-]+ of the diagonal\\.",
      "Files '" + base + "\\.msh' and '" + base + "\\.res' saved\\.",
  };
  ASSERT_EQ(lines.size(), expected.size()) << r.output;
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_TRUE(std::regex_match(lines[i], std::regex(expected[i]))) << lines[i];
  ASSERT_TRUE(test::file_exists(base + ".msh"));
  ASSERT_TRUE(test::file_exists(base + ".res"));
  std::string res = test::read_file(base + ".res");
  EXPECT_NE(res.find("Result \"Artificial\""), std::string::npos);
  EXPECT_NE(res.find("Result \"Boundary\""), std::string::npos);
}

TEST(BatchProgram, TypeAsTypedLoadFactorAndWideGridSuffix) {
  const std::string input = copy_mesh("teapot.ply", "model.ply");
  const std::string dir = fs::path(input).parent_path().string();
  test::RunResult r = run_command(tavrin() + " " + input + " foo 50 1.2");
  ASSERT_EQ(r.status, 0) << r.output;
  // An unknown type runs HASH_UC, but says so first.
  ASSERT_GE(lines_of(r.output).size(), 2u);
  EXPECT_EQ(lines_of(r.output)[0], "Unknown simplification type 'foo': using HASH_UC.");
  EXPECT_EQ(
      lines_of(r.output)[1],
      "model.ply | Simplifying with a 50 grid using Hash UC with qefs and a load factor of 1.2.");
  EXPECT_TRUE(test::file_exists(dir + "/model_simp_foo_0050.msh"));
  r = run_command(tavrin() + " " + input + " 10 16");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(lines_of(r.output)[0], "Unknown simplification type '10': using HASH_UC.");
  EXPECT_TRUE(test::file_exists(dir + "/model_simp_10_0016.msh"));
  r = run_command(tavrin() + " " + input + " hash_uc_accc 16");
  EXPECT_EQ(lines_of(r.output)[0], "Unknown simplification type 'hash_uc_accc': using HASH_UC.");
  r = run_command(tavrin() + " " + input + " hash_uc_acc 16");
  EXPECT_EQ(r.output.find("Unknown simplification type"), std::string::npos) << r.output;
  r = run_command(tavrin() + " " + input + " HASH_UC 12345");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(test::file_exists(dir + "/model_simp_HASH_UC_12345.msh"));
}

TEST(BatchProgram, OutputsAreIdenticalForAnyThreadCount) {
  const std::string input = copy_mesh("dragon_small.ply", "dragon.ply");
  const std::string base = fs::path(input).parent_path().string() + "/dragon_simp_HASH_UC_0128";
  std::string msh[3], res[3];
  const char* threads[3] = {"1", "2", "4"};
  for (int i = 0; i < 3; ++i) {
    test::RunResult r = run_command(tavrin() + " " + input + " HASH_UC 128",
                                    std::string("OMP_NUM_THREADS=") + threads[i]);
    ASSERT_EQ(r.status, 0) << r.output;
    msh[i] = test::read_file(base + ".msh");
    res[i] = test::read_file(base + ".res");
  }
  EXPECT_FALSE(msh[0].empty());
  for (int i = 1; i < 3; ++i) {
    EXPECT_TRUE(msh[i] == msh[0]) << threads[i] << " threads";
    EXPECT_TRUE(res[i] == res[0]) << threads[i] << " threads";
  }
}

TEST(BatchProgram, FailedWriteLeavesNoFilesAndFails) {
  const std::string input = copy_mesh("teapot.ply", "model.ply");
  const std::string base = fs::path(input).parent_path().string() + "/model_simp_HASH_UC_0064";
  // The results file name is taken by a directory, so the pair cannot be written.
  fs::create_directory(base + ".res");
  test::RunResult r = run_command(tavrin() + " " + input + " HASH_UC 64");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("Problems saving  '" + base + ".msh' and '" + base +
                          ".res': Unable to create file '" + base + ".res': Is a directory.\n"),
            std::string::npos)
      << r.output;
  EXPECT_FALSE(test::file_exists(base + ".msh"));
}

TEST(BatchProgram, MeshInsideOneCellProducesNothing) {
  const std::string input = copy_mesh("teapot.ply", "model.ply");
  test::RunResult r = run_command(tavrin() + " " + input + " HASH_UC 1");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("The simplification produced no mesh; nothing was written."),
            std::string::npos)
      << r.output;
}

}  // namespace
}  // namespace Tavrin
