// The programs in a hostile world: memory that runs out, symbolic links at
// the output paths, signals during the save, and values that are missing or
// huge. Each run ends with a result or one line and status 1, never with an
// abort, and never touches a file the user did not name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace Tavrin {
namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

test::RunResult run(const std::string& program, const std::string& args, int64_t limit_mb = 0,
                    const std::string& env = "") {
  const std::string limit =
      limit_mb > 0 ? "prlimit --as=" + std::to_string(limit_mb << 20) + " " : std::string();
  return test::run_command("timeout -k 5 120 " + limit + test::binary_path(program) + " " + args,
                           env);
}

std::string last_line(std::string t) {
  while (!t.empty() && t.back() == '\n') t.pop_back();
  const size_t nl = t.rfind('\n');
  return nl == std::string::npos ? t : t.substr(nl + 1);
}

std::set<std::string> entries(const std::string& dir) {
  std::set<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
  return out;
}

void write_text(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary)
      .write(text.data(), static_cast<std::streamsize>(text.size()));
}

// An n x n grid of nodes in the plane z = 0, two triangles per square, as
// binary PLY with one float field "t" of the given value on every node.
std::string grid_ply(int n, float t) {
  std::string s = "ply\nformat binary_little_endian 1.0\nelement vertex " + std::to_string(n * n) +
                  "\nproperty float x\nproperty float y\nproperty float z\nproperty float t\n"
                  "element face " +
                  std::to_string(2 * (n - 1) * (n - 1)) +
                  "\nproperty list uchar int vertex_indices\nend_header\n";
  auto put = [&s](const void* p, size_t size) { s.append(static_cast<const char*>(p), size); };
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const float v[4] = {static_cast<float>(i), static_cast<float>(j), 0.0f, t};
      put(v, sizeof v);
    }
  for (int j = 0; j + 1 < n; ++j)
    for (int i = 0; i + 1 < n; ++i) {
      const int32_t a = j * n + i;
      const int32_t tri[2][3] = {{a, a + 1, a + n + 1}, {a, a + n + 1, a + n}};
      for (const auto& c : tri) {
        const uint8_t three = 3;
        put(&three, 1);
        put(c, sizeof c);
      }
    }
  return s;
}

// The values of a result of a .res file, in node order.
std::vector<double> result_values(const std::string& res, const std::string& name) {
  std::vector<double> out;
  size_t p = res.find("Result \"" + name + "\"");
  if (p == std::string::npos) return out;
  p = res.find("Values\n", p);
  if (p == std::string::npos) return out;
  p += 7;
  while (p < res.size() && res.compare(p, 3, "end") != 0) {
    const size_t end = res.find('\n', p);
    const std::string line = res.substr(p, end - p);
    out.push_back(std::strtod(line.c_str() + line.find(' '), nullptr));
    p = end + 1;
  }
  return out;
}

TEST(HostileWorld, RunningOutOfMemoryIsOneLine) {
  // Sanitizers reserve terabytes of address space and allocate their own way.
  if (kSanitized) GTEST_SKIP() << "address-space limits do not apply to sanitizer builds";
  const std::string dir = test::temp_dir("hostile_memory");
  write_text(dir + "/grid.ply", grid_ply(600, 1.0f));
  // From a limit that stops the reading to one that lets the run finish:
  // each run either saves its pair or says in one line what memory it missed.
  for (const char* program : {"tavrin", "tavrin-stream"}) {
    for (int64_t mb = 60; mb <= 220; mb += 20) {
      SCOPED_TRACE(std::string(program) + " " + std::to_string(mb) + " MB");
      const test::RunResult r = run(program, dir + "/grid.ply HASH_UC 256", mb);
      if (r.status == 0) {
        // Limits near the need may pass and fail in turn (threads, the
        // allocator): each run starts from the input alone.
        fs::remove(dir + "/grid_simp_HASH_UC_0256.msh");
        fs::remove(dir + "/grid_simp_HASH_UC_0256.res");
        continue;
      }
      EXPECT_EQ(r.status, 1) << r.output;
      EXPECT_EQ(last_line(r.output).rfind("Not enough memory to ", 0), 0u) << r.output;
      EXPECT_EQ(entries(dir), std::set<std::string>{"grid.ply"});
    }
    fs::remove(dir + "/grid_simp_HASH_UC_0256.msh");
    fs::remove(dir + "/grid_simp_HASH_UC_0256.res");
  }
  // A sparse file that declares 10^9 nodes has the length they need (tavrin
  // takes the streamed road for it, beyond its memory budget).
  const std::string sparse = dir + "/sparse.ply";
  write_text(sparse,
             "ply\nformat binary_little_endian 1.0\nelement vertex 1000000000\nproperty float x\n"
             "property float y\nproperty float z\nelement face 1\n"
             "property list uchar int vertex_indices\nend_header\n");
  fs::resize_file(sparse, fs::file_size(sparse) + 12000000000ull + 13);
  const test::RunResult r = run("tavrin", sparse + " HASH_UC 64", 2048);
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_EQ(last_line(r.output),
            "Not enough memory to hold the node coordinates (11.444,1 MB needed).");
}

TEST(HostileWorld, LinksAtOutputPathsAreReplacedNotFollowed) {
  const std::string dir = test::temp_dir("hostile_links");
  fs::create_directory(dir + "/run");
  fs::create_directory(dir + "/other");
  write_text(dir + "/other/p.txt", "keep p");
  write_text(dir + "/other/q.txt", "keep q");
  fs::permissions(dir + "/other/q.txt", fs::perms::owner_read);
  fs::copy_file(test::data_path("teapot.ply"), dir + "/run/teapot.ply");
  const std::string base = dir + "/run/teapot_simp_HASH_UC_0064";
  fs::create_symlink("../other/p.txt", base + ".msh");
  fs::create_symlink("../other/q.txt", base + ".res");
  fs::create_symlink("../other/p.txt", dir + "/run/out.ply");
  fs::create_symlink("../other/missing.msh", dir + "/run/errors.msh");
  const test::RunResult batch = run("tavrin", dir + "/run/teapot.ply HASH_UC 64");
  EXPECT_EQ(batch.status, 0) << batch.output;
  const test::RunResult octree =
      run("tavrin-octree",
          dir + "/run/teapot.ply 0.001 " + dir + "/run/out.ply " + dir + "/run/errors.msh");
  EXPECT_EQ(octree.status, 0) << octree.output;
  for (const char* name :
       {"teapot_simp_HASH_UC_0064.msh", "teapot_simp_HASH_UC_0064.res", "out.ply", "errors.msh"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir + "/run/" + name)));
  }
  EXPECT_EQ(test::read_file(dir + "/other/p.txt"), "keep p");
  EXPECT_EQ(test::read_file(dir + "/other/q.txt"), "keep q");
  EXPECT_EQ(entries(dir + "/other"), (std::set<std::string>{"p.txt", "q.txt"}));
}

// SIGINT, SIGTERM or SIGHUP at any moment of a run that replaces an earlier
// pair leaves the old pair or the new one, never a mix, and no temporary file.
TEST(HostileWorld, SignalsDuringTheSaveLeaveOnePairAndNoTemporaryFiles) {
  const std::string dir = test::temp_dir("hostile_signals");
  write_text(dir + "/grid.ply", grid_ply(400, 2.0f));
  const std::string args = dir + "/grid.ply HASH_UC 1024";
  const std::string base = dir + "/grid_simp_HASH_UC_1024";
  ASSERT_EQ(run("tavrin", args).status, 0);
  const std::string new_msh = test::read_file(base + ".msh");
  const std::string new_res = test::read_file(base + ".res");
  // How long a run takes here, so that the signals spread over all of it.
  const test::RunResult timed =
      test::run_command("s=$(date +%s%N); " + test::binary_path("tavrin") + " " + args +
                        " > /dev/null; echo $(( ($(date +%s%N) - s) / 1000000 ))");
  const int run_ms = std::max(50, std::atoi(last_line(timed.output).c_str()));
  const char* signals[] = {"INT", "TERM", "HUP"};
  constexpr int kTries = 24;
  int old_pairs = 0, new_pairs = 0;
  for (int i = 0; i < kTries; ++i) {
    write_text(base + ".msh", "old mesh\n");
    write_text(base + ".res", "old results\n");
    const double delay = run_ms * (0.3 + 0.9 * i / kTries) / 1000.0;
    const std::string sig = signals[i % 3];
    SCOPED_TRACE("SIG" + sig + " after " + std::to_string(delay) + " s");
    test::run_command(test::binary_path("tavrin") + " " + args + " > /dev/null & p=$!; sleep " +
                      std::to_string(delay) + "; kill -" + sig + " $p; wait $p");
    EXPECT_EQ(entries(dir), (std::set<std::string>{"grid.ply", "grid_simp_HASH_UC_1024.msh",
                                                   "grid_simp_HASH_UC_1024.res"}));
    const std::string msh = test::read_file(base + ".msh");
    const std::string res = test::read_file(base + ".res");
    if (msh == "old mesh\n") {
      EXPECT_EQ(res, "old results\n");
      ++old_pairs;
    } else {
      EXPECT_TRUE(msh == new_msh && res == new_res);
      ++new_pairs;
    }
  }
  EXPECT_GT(old_pairs, 0);
}

// One missing value drops a node from that field only; sums beyond the
// float range still average to the values; on both roads.
TEST(HostileWorld, MissingAndHugeValuesAverageFieldByField) {
  const std::string dir = test::temp_dir("hostile_values");
  // Binary, so that the streamed road takes it too.
  std::string square =
      "ply\nformat binary_little_endian 1.0\nelement vertex 4\nproperty float x\n"
      "property float y\nproperty float z\nproperty float a\nproperty float b\n"
      "element face 2\nproperty list uchar int vertex_indices\nend_header\n";
  const float nodes[4][5] = {{0, 0, 0, NAN, 5}, {1, 0, 0, 1, 5}, {1, 1, 0, 2, 5}, {0, 1, 0, 3, 5}};
  square.append(reinterpret_cast<const char*>(nodes), sizeof nodes);
  for (const int32_t c : {2, 3}) {
    const int32_t tri[3] = {0, c - 1, c};
    square.push_back(3);
    square.append(reinterpret_cast<const char*>(tri), sizeof tri);
  }
  write_text(dir + "/square.ply", square);
  write_text(dir + "/huge.ply", grid_ply(30, 1e37f));
  for (const char* program : {"tavrin", "tavrin-stream"}) {
    SCOPED_TRACE(program);
    ASSERT_EQ(run(program, dir + "/square.ply HASH_UC 64").status, 0);
    const std::string square = test::read_file(dir + "/square_simp_HASH_UC_0064.res");
    EXPECT_EQ(result_values(square, "a"), (std::vector<double>{0, 3, 1, 2}));
    EXPECT_EQ(result_values(square, "b"), (std::vector<double>{5, 5, 5, 5}));
    EXPECT_EQ(result_values(square, "Boundary"), (std::vector<double>{1000, 1000, 1000, 1000}));

    ASSERT_EQ(run(program, dir + "/huge.ply HASH_UC 4").status, 0);
    const std::vector<double> t =
        result_values(test::read_file(dir + "/huge_simp_HASH_UC_0004.res"), "t");
    EXPECT_EQ(t.size(), 16u);
    for (double v : t) EXPECT_EQ(v, 9.9999992999905e+36);
  }
}

TEST(HostileWorld, MessagesSayWhyInOneLine) {
  const std::string dir = test::temp_dir("hostile_messages");
  fs::copy_file(test::data_path("ico_le.ply"), dir + "/ico.ply");
  // The second target cannot be written: the first is not written either.
  const test::RunResult octree =
      run("tavrin-octree", dir + "/ico.ply 0.01 " + dir + "/out.ply " + dir + "/missing/err.msh");
  EXPECT_EQ(octree.status, 1) << octree.output;
  EXPECT_EQ(last_line(octree.output), "Problems saving '" + dir +
                                          "/missing/err.msh': Unable to create file '" + dir +
                                          "/missing/err.msh': No such file or directory.");
  EXPECT_EQ(entries(dir), std::set<std::string>{"ico.ply"});

  // Boxes the cells cannot divide: wider than the float range, or narrower
  // than its smallest steps.
  const char* header =
      "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
      "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n";
  write_text(dir + "/wide.ply", std::string(header) + "-3e38 0 0\n3e38 0 0\n0 3e38 0\n3 0 1 2\n");
  write_text(dir + "/tiny.ply", std::string(header) + "0 0 0\n1e-44 0 0\n0 1e-44 0\n3 0 1 2\n");
  for (const char* name : {"wide", "tiny"}) {
    SCOPED_TRACE(name);
    const test::RunResult r = run("tavrin", dir + "/" + name + ".ply HASH_UC 64");
    EXPECT_EQ(r.status, 1) << r.output;
    const std::string line = last_line(r.output);
    EXPECT_EQ(line.rfind("The simplification produced no mesh: the bounding box of the nodes", 0),
              0u)
        << line;
    EXPECT_NE(line.find("cannot be divided into cells; nothing was written."), std::string::npos);
  }
  // The streamed road says the same of the same nodes in a binary file.
  {
    const float xyz[9] = {-3e38f, 0, 0, 3e38f, 0, 0, 0, 3e38f, 0};
    const unsigned char count = 3;
    const int32_t corners[3] = {0, 1, 2};
    std::string binary =
        "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\n"
        "property float y\nproperty float z\nelement face 1\n"
        "property list uchar int vertex_indices\nend_header\n";
    binary.append(reinterpret_cast<const char*>(xyz), sizeof xyz);
    binary.append(reinterpret_cast<const char*>(&count), 1);
    binary.append(reinterpret_cast<const char*>(corners), sizeof corners);
    write_text(dir + "/wide_binary.ply", binary);
    const test::RunResult memory = run("tavrin", dir + "/wide_binary.ply HASH_UC 64");
    const test::RunResult streamed = run("tavrin-stream", dir + "/wide_binary.ply HASH_UC 64");
    EXPECT_EQ(streamed.status, 1) << streamed.output;
    EXPECT_EQ(last_line(streamed.output), last_line(memory.output));
    EXPECT_NE(last_line(streamed.output).find("cannot be divided"), std::string::npos)
        << streamed.output;
    fs::remove(dir + "/wide_binary.ply");
  }

  // The comparison tools refuse counts they cannot use (built with the
  // benchmarks only).
  if (!test::file_exists(test::binary_path("surface_distance"))) return;
  const std::string ico = dir + "/ico.ply";
  struct Row {
    std::string program, args, message;
  } rows[] = {
      {"surface_distance", ico + " " + ico + " abc", "invalid sample count 'abc'"},
      {"surface_distance", ico + " " + ico + " 0", "invalid sample count '0'"},
      {"surface_distance", ico + " " + ico + " -5", "invalid sample count '-5'"},
      {"surface_distance", ico + " " + ico + " 99999999999", "invalid sample count '99999999999'"},
      {"make_big_mesh", ico + " 99 " + dir + "/big.ply", "invalid refinement count '99'"},
      {"make_big_mesh", ico + " abc " + dir + "/big.ply", "invalid refinement count 'abc'"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.program + " " + row.args);
    const test::RunResult r = run(row.program, row.args, 1024);
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find(row.message), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find('\n'), r.output.size() - 1) << r.output;
  }
  EXPECT_FALSE(test::file_exists(dir + "/big.ply"));
}

}  // namespace
}  // namespace Tavrin
