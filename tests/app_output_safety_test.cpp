// End-to-end: a batch run whose output cannot be written leaves the files
// that were there before byte for byte as they were, creates nothing, exits
// non-zero and says why in one line. Three ways a write fails: earlier
// outputs the user may not write, a file system that fills up during the
// rewrite, a directory where an output should go.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "tests/test_support.h"

namespace Tavrin {
namespace {

namespace fs = std::filesystem;

// Every regular file below dir with its content, and every folder.
std::map<std::string, std::string> snapshot(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const std::string name = fs::relative(e.path(), dir).string();
    files[name] = e.is_directory() ? std::string("<dir>") : test::read_file(e.path().string());
  }
  return files;
}

void put(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

size_t count_of(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Earlier outputs that are read-only for the user who runs the program; as
// root, which may write anything, the run goes through `setpriv` as nobody.
TEST(OutputSafety, ReadOnlyEarlierOutputsStayAsTheyWere) {
  const std::string dir = test::temp_dir("safety_readonly");
  chmod(dir.c_str(), 0777);
  fs::copy_file(test::data_path("teapot.ply"), dir + "/m.ply");
  chmod((dir + "/m.ply").c_str(), 0644);
  std::string runner;
  if (geteuid() == 0) {
    runner = "setpriv --reuid=65534 --regid=65534 --clear-groups -- ";
    if (test::run_command(runner + test::binary_path("tavrin") + " --help").status != 0)
      GTEST_SKIP() << "cannot run the program as an unprivileged user here";
  }
  const std::string base = dir + "/m_simp_HASH_UC_0016";
  struct Case {
    const char* what;
    mode_t msh_mode, res_mode;
    std::string reason;  // the one line that says why
  } cases[] = {
      {"both read-only", 0444, 0444, "Unable to create file '" + base + ".msh': Permission denied"},
      {"results read-only", 0644, 0444,
       "Unable to create file '" + base + ".res': Permission denied"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    put(base + ".msh", "earlier mesh\n");
    put(base + ".res", "earlier results\n");
    // As root the files are given to nobody when that user may write them.
    if (geteuid() == 0 && (c.msh_mode & 0200)) {
      ASSERT_EQ(chown((base + ".msh").c_str(), 65534, 65534), 0);
    }
    chmod((base + ".msh").c_str(), c.msh_mode);
    chmod((base + ".res").c_str(), c.res_mode);
    const auto before = snapshot(dir);
    test::RunResult r =
        test::run_command(runner + test::binary_path("tavrin") + " " + dir + "/m.ply HASH_UC 16");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_EQ(count_of(r.output, c.reason), 1u) << r.output;
    EXPECT_EQ(count_of(r.output, "Unable to create file"), 1u) << r.output;
    EXPECT_EQ(snapshot(dir), before);
    fs::remove(base + ".msh");
    fs::remove(base + ".res");
  }
}

// A complete earlier result on a file system that fills up during the
// rewrite (a small tmpfs; mounting needs root).
TEST(OutputSafety, FullFileSystemKeepsTheEarlierResult) {
  const std::string dir = test::temp_dir("safety_full");
  const std::string mount_point = dir + "/small";
  fs::create_directory(mount_point);
  if (test::run_command("mount -t tmpfs -o size=1m tmpfs " + mount_point + " 2>/dev/null").status !=
      0)
    GTEST_SKIP() << "no tmpfs can be mounted here";
  struct Unmount {
    std::string at;
    ~Unmount() { test::run_command("umount " + at); }
  } unmount{mount_point};

  fs::copy_file(test::data_path("teapot.ply"), mount_point + "/m.ply");
  const std::string run = test::binary_path("tavrin") + " " + mount_point + "/m.ply HASH_UC 32";
  ASSERT_EQ(test::run_command(run).status, 0);
  // Take every block that is left.
  {
    std::ofstream filler(mount_point + "/filler", std::ios::binary);
    const std::string block(4096, 'x');
    while (filler.write(block.data(), block.size())) {
    }
  }
  const auto before = snapshot(mount_point);
  ASSERT_EQ(before.size(), 4u);
  test::RunResult r = test::run_command(run);
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_EQ(count_of(r.output, "No space left on device"), 1u) << r.output;
  EXPECT_NE(r.output.find("Problems saving  '" + mount_point + "/m_simp_HASH_UC_0032.msh'"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(snapshot(mount_point), before);
}

// A directory named like an output is reported, not removed, and the other
// file of the pair keeps its earlier content.
TEST(OutputSafety, DirectoryInTheWayIsReportedNotRemoved) {
  const std::string dir = test::temp_dir("safety_dir");
  fs::copy_file(test::data_path("teapot.ply"), dir + "/m.ply");
  const std::string base = dir + "/m_simp_HASH_UC_0016";
  fs::create_directory(base + ".msh");
  put(base + ".msh/keep", "inside\n");
  put(base + ".res", "earlier results\n");
  const auto before = snapshot(dir);
  test::RunResult r =
      test::run_command(test::binary_path("tavrin") + " " + dir + "/m.ply HASH_UC 16");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_EQ(count_of(r.output, "Unable to create file '" + base + ".msh': Is a directory"), 1u)
      << r.output;
  EXPECT_EQ(snapshot(dir), before);
}

}  // namespace
}  // namespace Tavrin
