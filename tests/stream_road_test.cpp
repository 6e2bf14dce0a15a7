// The streamed road end to end: tavrin-stream must write the files tavrin
// writes in memory, byte for byte, and the same messages, whatever the block
// size, the edge budget and the thread count; what it cannot stream it
// refuses in one line; tavrin takes it on its own beyond the memory budget.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "hashuc/simp_type.h"
#include "io/ply_reader.h"
#include "io/ply_writer.h"
#include "mesh/object.h"
#include "tests/steady_lines.h"
#include "tests/stream_test_mesh.h"
#include "tests/test_support.h"

namespace Tavrin {
namespace {

namespace fs = std::filesystem;

const char* const kCovered[] = {"HASH_UC",
                                "HASH_UC_ACC",
                                "HASH_UC_TEMP",
                                "HASH_UC_SCALAR",
                                "HASH_UC_SCALAR3_NORMAL",
                                "HASH_UC_SCALAR3_VECTOR",
                                "HASH_UC_SINGLE",
                                "HASH_UC_COHERENT"};

struct Outputs {
  test::RunResult run;
  std::string msh, res;
};

// Runs a command that writes base.msh/.res, takes the files and removes them.
Outputs run_and_take(const std::string& command, const std::string& env, const std::string& base) {
  Outputs o;
  o.run = test::run_command(command, env);
  if (test::file_exists(base + ".msh")) o.msh = test::read_file(base + ".msh");
  if (test::file_exists(base + ".res")) o.res = test::read_file(base + ".res");
  fs::remove(base + ".msh");
  fs::remove(base + ".res");
  return o;
}

TEST(StreamRoad, WritesTheInMemoryFilesForEveryCoveredType) {
  const std::string dir = test::temp_dir("stream");
  const std::string tavrin = test::binary_path("tavrin");
  const std::string stream = test::binary_path("tavrin-stream");
  test::write_sheet(dir + "/sheet.ply", false);
  test::write_sheet(dir + "/sheet_be.ply", true);
  fs::copy_file(test::data_path("teapot.ply"), dir + "/teapot.ply");
  fs::copy_file(test::data_path("with_edges.ply"), dir + "/cube.ply");
  // A refined mesh: four triangles for each of the small dragon's.
  {
    std::unique_ptr<Object> dragon = load_ply(test::data_path("dragon_small.ply"));
    ASSERT_TRUE(dragon);
    dragon->refine();
    ASSERT_EQ(write_ply(dir + "/dragon.ply", *dragon), dragon->num_triangles());
  }
  struct Case {
    const char* mesh;
    const char* grid;
    bool every_type;
    const char* small;  // options for small blocks and many boundary passes
  } cases[] = {{"sheet", "4", true, " --block 3 --budget 64"},
               {"sheet_be", "3", true, " --block 3 --budget 64"},
               {"teapot", "16", true, " --block 5 --budget 1K"},
               {"cube", "2", false, " --block 1 --budget 8"},
               {"dragon", "64", false, " --block 5000 --budget 64K"}};
  for (const Case& c : cases)
    for (const char* type : kCovered) {
      if (!c.every_type && std::strcmp(type, "HASH_UC") != 0 &&
          std::strcmp(type, "HASH_UC_SCALAR3_NORMAL") != 0)
        continue;
      SCOPED_TRACE(std::string(c.mesh) + " " + type);
      const std::string input = dir + "/" + c.mesh + ".ply";
      const std::string grid = std::string(4 - std::strlen(c.grid), '0') + c.grid;
      const std::string base = dir + "/" + c.mesh + "_simp_" + type + "_" + grid;
      const std::string args = " " + input + " " + type + " " + c.grid;
      const Outputs memory =
          run_and_take(tavrin + args, "OMP_NUM_THREADS=2 TAVRIN_STREAM_BUDGET=64G", base);
      ASSERT_EQ(memory.run.status, 0) << memory.run.output;
      ASSERT_FALSE(memory.msh.empty());
      EXPECT_EQ(memory.run.output.find("was streamed"), std::string::npos);
      // Tiny blocks and a tiny edge budget (many boundary passes) on one
      // thread; the defaults on two.
      const std::pair<const char*, const char*> runs[] = {{c.small, "OMP_NUM_THREADS=1"},
                                                          {"", "OMP_NUM_THREADS=2"}};
      for (const auto& [options, env] : runs) {
        SCOPED_TRACE(std::string(env) + options);
        const Outputs streamed = run_and_take(stream + args + options, env, base);
        ASSERT_EQ(streamed.run.status, 0) << streamed.run.output;
        EXPECT_NE(streamed.run.output.find("was streamed in blocks of"), std::string::npos);
        EXPECT_EQ(test::steady_lines(streamed.run.output), test::steady_lines(memory.run.output));
        EXPECT_TRUE(streamed.msh == memory.msh);
        EXPECT_TRUE(streamed.res == memory.res);
      }
    }
}

TEST(StreamRoad, RefusesWhatItCannotStreamAndTavrinSwitchesByBudget) {
  const std::string dir = test::temp_dir("stream_refuse");
  const std::string tavrin = test::binary_path("tavrin");
  const std::string stream = test::binary_path("tavrin-stream");
  fs::copy_file(test::data_path("bunny.ply"), dir + "/bunny.ply");
  fs::copy_file(test::data_path("bunny_ascii.ply"), dir + "/ascii.ply");
  const std::string bunny = dir + "/bunny.ply";

  // A type whose cells follow the node normals, an ascii file, a file cut
  // short in its faces, and a face naming a node that does not exist: one
  // line each, no files, a failing status.
  std::string cut = test::read_file(bunny);
  cut.resize(cut.size() - 7);
  std::ofstream(dir + "/cut.ply", std::ios::binary) << cut;
  std::string bad = test::read_file(bunny);
  const int32_t outside = 5000;
  std::memcpy(&bad[bad.size() - 4], &outside, 4);
  std::ofstream(dir + "/bad.ply", std::ios::binary) << bad;
  const struct {
    std::string args, says;
  } refusals[] = {
      {bunny + " HASH_UC_NORMAL 16",
       "HASH_UC_NORMAL cannot be streamed: its cells depend on the node normals"},
      {dir + "/ascii.ply HASH_UC 16",
       "The file is ascii PLY: only binary PLY files can be streamed"},
      {dir + "/cut.ply HASH_UC 16",
       "Unexpected end of file while reading 'vertex_indices' of 'face' number 3673"},
      {dir + "/bad.ply HASH_UC 16",
       "Face index 5000 of triangle 3673 (element 'face') is outside the nodes 0..1838"},
      {bunny + " HASH_UC 16 --block 0", "Invalid --block '0': give a positive number."}};
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.args);
    const test::RunResult run = test::run_command(stream + " " + r.args);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.output.find(r.says), std::string::npos) << run.output;
    for (const auto& entry : fs::directory_iterator(dir))
      EXPECT_EQ(entry.path().extension(), ".ply") << entry.path();
  }
  // The in-memory road refuses the broken files with the same line.
  for (const char* name : {"cut", "bad"}) {
    const test::RunResult memory =
        test::run_command(tavrin + " " + dir + "/" + name + ".ply HASH_UC 16");
    const test::RunResult streamed =
        test::run_command(stream + " " + dir + "/" + name + ".ply HASH_UC 16");
    EXPECT_EQ(test::steady_lines(memory.output), test::steady_lines(streamed.output));
  }

  // Beyond the budget tavrin streams what it can, and writes the same files.
  const std::string base = dir + "/bunny_simp_HASH_UC_0032";
  const Outputs memory = run_and_take(tavrin + " " + bunny + " HASH_UC 32", "", base);
  const Outputs switched =
      run_and_take(tavrin + " " + bunny + " HASH_UC 32", "TAVRIN_STREAM_BUDGET=1K", base);
  ASSERT_EQ(switched.run.status, 0) << switched.run.output;
  EXPECT_NE(switched.run.output.find("was streamed"), std::string::npos);
  EXPECT_TRUE(switched.msh == memory.msh && switched.res == memory.res);
  // ... and keeps the in-memory road for what it cannot stream.
  for (const std::string& args :
       {dir + "/ascii.ply HASH_UC 32", bunny + " HASH_UC_ADAPT_NORMAL 32"}) {
    const test::RunResult run = test::run_command(tavrin + " " + args, "TAVRIN_STREAM_BUDGET=1K");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("streamed"), std::string::npos);
  }
}

}  // namespace
}  // namespace Tavrin
