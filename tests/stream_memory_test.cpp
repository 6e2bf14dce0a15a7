// The streamed road short of memory: one line saying what it could not hold
// and how much that needed, a failing status and no files; never an abort.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/test_support.h"

namespace Tavrin {
namespace {

namespace fs = std::filesystem;

TEST(StreamMemory, RunningOutIsOneLine) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers reserve more address space than the limit allows";
#endif
  const std::string dir = test::temp_dir("stream_memory");
  // A sparse file declaring 10^9 vertices: 12 GB of coordinates, with a
  // limit of 1 GB of address space.
  const std::string sparse = dir + "/sparse.ply";
  std::ofstream(sparse, std::ios::binary)
      << "ply\nformat binary_little_endian 1.0\nelement vertex 1000000000\nproperty float x\n"
         "property float y\nproperty float z\nelement face 1\nproperty list uchar int "
         "vertex_indices\nend_header\n";
  fs::resize_file(sparse, fs::file_size(sparse) + 12000000000ull + 13);
  const test::RunResult r = test::run_command(
      "ulimit -v 1000000; " + test::binary_path("tavrin-stream") + " " + sparse + " HASH_UC 64");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_EQ(r.output.substr(r.output.rfind('\n', r.output.size() - 2) + 1),
            "Not enough memory to hold the node coordinates (11.444,1 MB needed).\n");
  EXPECT_FALSE(test::file_exists(dir + "/sparse_simp_HASH_UC_0064.msh"));
  fs::remove(sparse);
}

}  // namespace
}  // namespace Tavrin
