// The batch programs asked for a triangle budget or an error bound instead
// of a grid size: refused values, the lines of the searches, and files
// identical to those of the chosen grid typed.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "tests/test_support.h"

namespace Tavrin {
namespace {

namespace fs = std::filesystem;

std::string copy_to(const std::string& dir, const std::string& name) {
  fs::copy_file(test::data_path(name), dir + "/" + name);
  return dir + "/" + name;
}

TEST(GridRequest, BadValuesAreRefusedWithStatusTwo) {
  const std::string dir = test::temp_dir("request_bad");
  const std::string mesh = copy_to(dir, "dragon_small.ply");
  const struct {
    const char* option;
    const char* value;
    const char* line;
  } cases[] = {
      {"--triangles", "0", "Invalid triangle budget '0'"},
      {"--triangles", "-1", "Invalid triangle budget '-1'"},
      {"--triangles", "abc", "Invalid triangle budget 'abc'"},
      {"--triangles", "NaN", "Invalid triangle budget 'NaN'"},
      {"--triangles", "2147483648", "Invalid triangle budget '2147483648'"},
      {"--max-error", "0", "Invalid error bound '0'"},
      {"--max-error", "-1", "Invalid error bound '-1'"},
      {"--max-error", "abc", "Invalid error bound 'abc'"},
      {"--max-error", "NaN", "Invalid error bound 'NaN'"},
      {"--max-error", "inf", "Invalid error bound 'inf'"},
  };
  for (const char* program : {"tavrin", "tavrin-stream"})
    for (const auto& c : cases) {
      const test::RunResult r = test::run_command(test::binary_path(program) + " " + mesh +
                                                  " HASH_UC " + c.option + " " + c.value);
      EXPECT_EQ(r.status, 2) << program << " " << c.value << "\n" << r.output;
      EXPECT_NE(r.output.find(c.line), std::string::npos) << r.output;
    }
  const test::RunResult missing =
      test::run_command(test::binary_path("tavrin") + " " + mesh + " HASH_UC --triangles");
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.output.find("Give a value after '--triangles'."), std::string::npos);
  EXPECT_EQ(fs::directory_iterator(dir)->path().filename(), "dragon_small.ply");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

// The grid a run chose, from its "Grid %d gives" line.
int chosen_grid(const std::string& output) {
  std::smatch m;
  if (!std::regex_search(output, m, std::regex("Grid ([0-9]+) gives "))) return -1;
  return std::stoi(m[1]);
}

TEST(GridRequest, ChosenGridWritesTheFilesOfThatGridTyped) {
  const struct {
    const char* program;
    const char* request;
    const char* line;  // a line the run must say, "" none
    int grid;          // the grid it must choose, 0 any
  } cases[] = {
      {"tavrin", "--triangles 1000", "(asked for at most 1000).", 0},
      {"tavrin-stream", "--triangles 1000", "(asked for at most 1000).", 0},
      {"tavrin", "--max-error 0.004", "(asked for at most 0.004).", 0},
      {"tavrin", "--triangles 5", "The coarsest grid, 2, gives more than 5 triangles", 2},
      {"tavrin", "--triangles 5000", "The budget of 5000 triangles is not below the input's 4032",
       2048},
      {"tavrin-stream", "--triangles 5", "The coarsest grid, 2, gives more than 5 triangles", 2},
      {"tavrin-stream", "--triangles 5000",
       "The budget of 5000 triangles is not below the input's 4032", 2048},
  };
  for (const auto& c : cases) {
    const std::string asked = test::temp_dir("request_asked"),
                      typed = test::temp_dir("request_typed");
    const std::string mesh = copy_to(asked, "teapot.ply");
    const test::RunResult r = test::run_command(test::binary_path(c.program) + " " + mesh +
                                                " HASH_UC_SCALAR " + c.request);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find(c.line), std::string::npos) << r.output;
    const int grid = chosen_grid(r.output);
    ASSERT_GT(grid, 1) << r.output;
    if (c.grid) {
      EXPECT_EQ(grid, c.grid);
    }
    const test::RunResult t =
        test::run_command(test::binary_path("tavrin") + " " + copy_to(typed, "teapot.ply") +
                          " HASH_UC_SCALAR " + std::to_string(grid));
    ASSERT_EQ(t.status, 0) << t.output;
    // The same error line on either road and for the grid asked for or typed.
    std::smatch asked_error, typed_error;
    const std::regex error_line("Error: max [^\n]* of the diagonal\\.");
    ASSERT_TRUE(std::regex_search(r.output, asked_error, error_line)) << r.output;
    ASSERT_TRUE(std::regex_search(t.output, typed_error, error_line)) << t.output;
    EXPECT_EQ(asked_error.str(), typed_error.str());
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "_simp_HASH_UC_SCALAR_%04d", grid);
    for (const char* ext : {".msh", ".res"}) {
      const std::string a = asked + "/teapot" + suffix + ext;
      const std::string b = typed + "/teapot" + suffix + ext;
      ASSERT_TRUE(test::file_exists(a)) << a << "\n" << r.output;
      EXPECT_EQ(test::read_file(a), test::read_file(b)) << c.program << " " << c.request;
    }
  }
}

}  // namespace
}  // namespace Tavrin
