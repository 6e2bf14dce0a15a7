// Hostile inputs for the programs: every broken file is refused with one
// clear line, a non-zero exit status and no output left behind, inside a
// bounded address space and time; odd but valid files are simplified. Also
// replays every input the fuzzer ever found in-process.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "io/ply_reader.h"
#include "mesh/object.h"
#include "tests/test_support.h"

namespace Tavrin {
namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Runs a program with an address-space limit (left out under sanitizers,
// which reserve terabytes of shadow memory) and a time limit. A killed or
// timed-out run shows as status 124 or 128 + signal.
test::RunResult run_limited(const std::string& program, const std::string& args, int seconds,
                            int64_t address_space_mb, const std::string& env = "") {
  std::string limit =
      kSanitized ? std::string() : "prlimit --as=" + std::to_string(address_space_mb << 20) + " ";
  return test::run_command("timeout -k 5 " + std::to_string(seconds) + " " + limit +
                               test::binary_path(program) + " " + args,
                           env);
}

std::string last_line(const std::string& text) {
  std::string t = text;
  while (!t.empty() && t.back() == '\n') t.pop_back();
  size_t nl = t.rfind('\n');
  return nl == std::string::npos ? t : t.substr(nl + 1);
}

std::set<std::string> entries(const std::string& dir) {
  std::set<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
  return out;
}

void write_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Binary values in either byte order.
struct Bytes {
  bool big;
  std::string out;
  template <class T>
  Bytes& put(T v) {
    char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    if (big != (std::endian::native == std::endian::big))
      for (size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(b[i], b[sizeof(T) - 1 - i]);
    out.append(b, sizeof(T));
    return *this;
  }
};

const char* kTriHeader =
    "element vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
    "element face 1\nproperty list uchar int vertex_indices\nend_header\n";

// One triangle in binary storage; `index` replaces the last corner.
std::string binary_triangle(bool big, float y1 = 0.0f, int32_t index = 2, uint8_t count = 3) {
  Bytes b{big, std::string("ply\nformat ") + (big ? "binary_big_endian" : "binary_little_endian") +
                   " 1.0\n" + kTriHeader};
  const float v[9] = {0, 0, 0, 1, y1, 0, 0, 1, 0};
  for (float f : v) b.put(f);
  b.put(count).put(int32_t{0}).put(int32_t{1}).put(index);
  return b.out;
}

std::string ascii(const std::string& header_and_body) {
  return "ply\nformat ascii 1.0\n" + header_and_body;
}

struct Case {
  const char* label;
  std::string content;
  const char* message;  // part of the last output line
};

// Broken files, each refused by the batch program.
std::vector<Case> broken_files() {
  const std::string tri = std::string(kTriHeader) + "0 0 0\n1 0 0\n0 1 0\n";
  std::vector<Case> cases = {
      {"upper-case magic", "PLY\nformat ascii 1.0\nend_header\n", "Wrong magic number"},
      {"magic only", "ply", "Unexpected end of file"},
      {"NUL bytes", std::string(4096, '\0'), "Wrong magic number"},
      {"header cut in a keyword", "ply\nformat binary_little_endian 1.0\nelement vertex 3\nprop",
       "Unexpected token 'prop'"},
      {"unknown value type", ascii("element vertex 1\nproperty float128 x\nend_header\n0\n"),
       "Unexpected token 'float128'"},
      {"unknown list entry type",
       ascii("element face 1\nproperty list uchar quad vertex_indices\nend_header\n"),
       "Unexpected token 'quad'"},
      {"face count lies (ascii)",
       ascii("element vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
             "element face 5\nproperty list uchar int vertex_indices\nend_header\n"
             "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"),
       "Unexpected end of file"},
      {"2^31 vertices declared (LE)",
       "ply\nformat binary_little_endian 1.0\nelement vertex 2147483648\nproperty float x\n"
       "property float y\nproperty float z\nend_header\n" +
           std::string(36, '\0'),
       "Unexpected end of file"},
      {"2^40 faces declared (BE)",
       "ply\nformat binary_big_endian 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
       "property float z\nelement face 1099511627776\nproperty list uchar int vertex_indices\n"
       "end_header\n" +
           std::string(36 + 13, '\0'),
       "Unexpected end of file"},
      {"list count past the end (LE)", binary_triangle(false, 0.0f, 2, 200),
       "Unexpected end of file"},
      {"index out of range (BE)", binary_triangle(true, 0.0f, 0x7fffffff), "is outside the nodes"},
      {"negative index (LE)", binary_triangle(false, 0.0f, -5), "is outside the nodes"},
      {"NaN coordinate (BE)", binary_triangle(true, std::numeric_limits<float>::quiet_NaN()),
       "non-finite coordinate y"},
      {"infinite coordinate (LE)", binary_triangle(false, -std::numeric_limits<float>::infinity()),
       "non-finite coordinate y"},
      {"missing y (BE)",
       "ply\nformat binary_big_endian 1.0\nelement vertex 1\nproperty float x\nproperty float z\n"
       "end_header\n" +
           std::string(8, '\0'),
       "has no property 'y'"},
      {"upper-case vertex without y", ascii("element VERTEX 1\nproperty float x\nend_header\n0\n"),
       "has no property 'y'"},
      {"only empty faces", ascii(std::string(kTriHeader) + "0 0 0\n1 0 0\n0 1 0\n0\n"), "No faces"},
      {"CRLF header, broken body", "ply\r\nformat ascii 1.0\r\n" + tri + "3 0 1 9\r\n",
       "is outside the nodes"},
  };
  // A comment line of 8 MiB: the header has no line limit, but memory stays
  // with the file size.
  cases.push_back({"8 MiB comment", "ply\nformat ascii 1.0\ncomment " + std::string(8 << 20, 'a'),
                   "Unexpected end of file"});
  return cases;
}

// Files that are odd but well formed: simplified and written.
std::vector<Case> odd_valid_files() {
  const std::string body = "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";
  return {
      {"CRLF header, binary body",
       [] {
         std::string s = binary_triangle(false);
         size_t end = s.find("end_header\n") + 11;
         std::string head = s.substr(0, end), out;
         for (char c : head) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
         return out + s.substr(end);
       }(),
       ""},
      {"trailing garbage after the body", ascii(kTriHeader + body + "garbage \x01\xff\n"), ""},
      {"trailing bytes after a binary body", binary_triangle(true) + "xyz", ""},
      {"two vertex elements, the first empty",
       ascii("element vertex 0\nproperty float q\n" + std::string(kTriHeader) + body), ""},
      {"binary empty element of 10^18 instances",
       [] {
         std::string s = binary_triangle(false);
         return s.insert(s.find("element vertex"), "element junk 1000000000000000000\n");
       }(),
       ""},
      {"second face element ignored",
       ascii(std::string("element vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
                         "element face 1\nproperty list uchar int vertex_indices\n"
                         "element face 1\nproperty list uchar int vertex_indices\nend_header\n") +
             body + "3 2 1 0\n"),
       ""},
  };
}

class HostileBatch : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = test::temp_dir("hostile"); }

  // Runs the batch program on `path` and checks a clean refusal.
  void expect_refused(const std::string& path, const std::string& message,
                      const std::string& grid = "16") {
    std::string where = fs::path(path).parent_path().string();
    if (!fs::is_directory(where)) where = dir_;
    const std::set<std::string> before = entries(where);
    test::RunResult r = run_limited("tavrin", path + " HASH_UC " + grid, 60, 1024);
    EXPECT_TRUE(r.status == 1 || r.status == 2) << "status " << r.status << "\n" << r.output;
    EXPECT_NE(last_line(r.output).find(message), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("saved"), std::string::npos) << r.output;
    EXPECT_EQ(entries(where), before);
  }

  std::string dir_;
};

TEST_F(HostileBatch, BrokenFilesAreRefusedWithOneLine) {
  for (const Case& c : broken_files()) {
    SCOPED_TRACE(c.label);
    const std::string path = dir_ + "/model.ply";
    write_bytes(path, c.content);
    expect_refused(path, c.message);
  }
}

// Every storage cut at several places inside the header and the body.
TEST_F(HostileBatch, TruncatedAnywhereIsRefused) {
  for (const char* mesh : {"ico_ascii.ply", "ico_le.ply", "ico_be.ply"}) {
    const std::string whole = test::read_file(test::data_path(mesh));
    const size_t body = whole.find("end_header") + 11;
    ASSERT_GT(whole.size(), body + 10);
    std::vector<size_t> cuts = {3, body / 2, body - 1, body, body + 1};
    for (int k = 1; k < 8; ++k) cuts.push_back(body + (whole.size() - body) * k / 8);
    if (std::string(mesh) != "ico_ascii.ply") cuts.push_back(whole.size() - 1);
    for (size_t cut : cuts) {
      SCOPED_TRACE(std::string(mesh) + " cut at " + std::to_string(cut));
      const std::string path = dir_ + "/cut.ply";
      write_bytes(path, whole.substr(0, cut));
      expect_refused(path, cut < body - 1 ? "" : "Unexpected end of file");
    }
  }
}

TEST_F(HostileBatch, OddButValidFilesAreSimplified) {
  for (const Case& c : odd_valid_files()) {
    SCOPED_TRACE(c.label);
    const std::string path = dir_ + "/odd.ply";
    write_bytes(path, c.content);
    test::RunResult r = run_limited("tavrin", path + " HASH_UC 16", 60, 1024);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(last_line(r.output).find("saved."), std::string::npos) << r.output;
    EXPECT_TRUE(test::file_exists(dir_ + "/odd_simp_HASH_UC_0016.msh"));
    fs::remove(dir_ + "/odd_simp_HASH_UC_0016.msh");
    fs::remove(dir_ + "/odd_simp_HASH_UC_0016.res");
  }
}

TEST_F(HostileBatch, PathsThatAreNotMeshFiles) {
  fs::create_directory(dir_ + "/folder.ply");
  expect_refused(dir_ + "/folder.ply", "it is a directory");
  expect_refused(dir_ + "/missing.ply", "Unable to open file");
  // A file inside a "directory" that is a regular file.
  write_bytes(dir_ + "/plain.ply", "x");
  expect_refused(dir_ + "/plain.ply/inner.ply", "Unable to open file");
}

// Inputs that currently hang or eat memory: a fifo without a writer (the
// open blocks), an endless character device (read until memory runs out)
// and an ascii element without properties but 10^18 instances (skipped one
// empty instance at a time). Enable once the reader refuses anything that is
// not a regular file and skips empty ascii elements at once.
TEST_F(HostileBatch, InputsThatNeverEnd) {
  const std::string ascii_empty = dir_ + "/empty_element.ply";
  fs::copy_file(fs::path(test::data_path("bunny.ply")).parent_path().parent_path() / "fuzz" /
                    "regressions" / "ascii_empty_element_huge_count.ply",
                ascii_empty);
  test::RunResult r = run_limited("tavrin", ascii_empty + " HASH_UC 16", 30, 1024);
  EXPECT_EQ(r.status, 0) << r.output;
  const std::string fifo = dir_ + "/fifo.ply";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  expect_refused(fifo, "Unable to open file");
  fs::create_symlink("/dev/zero", dir_ + "/zero.ply");
  expect_refused(dir_ + "/zero.ply", "Unable to open file");
}

TEST_F(HostileBatch, OutputThatCannotBeWritten) {
  // The mesh file is a link to a device (/dev/full): only regular files are
  // replaced, so the device is reported and the link stays.
  const std::string input = dir_ + "/model.ply";
  fs::copy_file(test::data_path("teapot.ply"), input);
  const std::string base = dir_ + "/model_simp_HASH_UC_0032";
  fs::create_symlink("/dev/full", base + ".msh");
  test::RunResult r = run_limited("tavrin", input + " HASH_UC 32", 60, 1024);
  EXPECT_EQ(r.status, 1) << r.output;
  // One line says which save failed and why.
  EXPECT_EQ(last_line(r.output), "Problems saving  '" + base + ".msh' and '" + base +
                                     ".res': Unable to create file '" + base +
                                     ".msh': it is not a regular file.");
  EXPECT_EQ(r.output.find("Unable to create file"), r.output.rfind("Unable to create file"));
  EXPECT_FALSE(fs::exists(base + ".res"));
  EXPECT_EQ(entries(dir_), (std::set<std::string>{"model.ply", "model_simp_HASH_UC_0032.msh"}));
  EXPECT_TRUE(fs::is_symlink(base + ".msh"));

  // A real small file system, where root's rights do not help.
  const std::string mount_point = dir_ + "/small";
  fs::create_directory(mount_point);
  const std::string teapot = test::read_file(test::data_path("teapot.ply"));
  const std::string size = std::to_string(((teapot.size() + 4095) / 4096) * 4096);
  if (test::run_command("mount -t tmpfs -o size=" + size + " tmpfs " + mount_point).status != 0) {
    fs::remove(mount_point);
    GTEST_SKIP() << "no tmpfs mount here; only /dev/full was checked";
  }
  write_bytes(mount_point + "/model.ply", teapot);
  const bool input_fits = test::read_file(mount_point + "/model.ply") == teapot;
  test::RunResult full = run_limited("tavrin", mount_point + "/model.ply HASH_UC 32", 60, 1024);
  const std::set<std::string> left = entries(mount_point);
  test::run_command("umount " + mount_point);
  ASSERT_TRUE(input_fits);
  EXPECT_EQ(full.status, 1) << full.output;
  EXPECT_NE(last_line(full.output).find("Problems saving"), std::string::npos) << full.output;
  EXPECT_EQ(left, std::set<std::string>{"model.ply"});
}

// Grid sizes at both ends on a real mesh for every type: one cell yields a
// clean "nothing" or a mesh, the largest grid finishes in memory that follows
// the mesh, not the 2^60 cells it spans.
TEST_F(HostileBatch, ExtremeGridSizesForEveryType) {
  const std::string input = dir_ + "/bunny.ply";
  fs::copy_file(test::data_path("bunny.ply"), input);
  const char* types[] = {"HASH_UC",
                         "HASH_UC_ACC",
                         "HASH_UC_NORMAL",
                         "HASH_UC_ADAPT_NORMAL",
                         "HASH_UC_TEMP",
                         "HASH_UC_TEMP_NORMAL",
                         "HASH_UC_SCALAR",
                         "HASH_UC_SCALAR3_NORMAL",
                         "HASH_UC_SCALAR3_VECTOR",
                         "HASH_UC_SINGLE",
                         "HASH_UC_COHERENT"};
  for (const char* type : types) {
    for (const char* grid : {"1", "1048576"}) {
      SCOPED_TRACE(std::string(type) + " " + grid);
      test::RunResult r =
          run_limited("tavrin", input + " " + type + " " + grid, 120, 1536, "OMP_NUM_THREADS=2");
      const std::string base = dir_ + "/bunny_simp_" + type + "_" + (grid[1] ? "1048576" : "0001");
      if (r.status == 0) {
        EXPECT_NE(last_line(r.output).find("saved."), std::string::npos) << r.output;
        EXPECT_TRUE(test::file_exists(base + ".msh"));
        EXPECT_TRUE(test::file_exists(base + ".res"));
      } else {
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_EQ(last_line(r.output), "The simplification produced no mesh; nothing was written.")
            << r.output;
        EXPECT_FALSE(fs::exists(base + ".msh"));
        EXPECT_FALSE(fs::exists(base + ".res"));
      }
      // With every cell its own vertex, nothing merges: the mesh comes back whole.
      if (r.status == 0 && grid[1]) {
        EXPECT_NE(r.output.find("v: 1.839 t: 3.674"), std::string::npos) << r.output;
      }
    }
  }
}

TEST(HostileOctree, BadInputsAndUnwritableOutputs) {
  const std::string dir = test::temp_dir("hostile_octree");
  fs::copy_file(test::data_path("ico_le.ply"), dir + "/ico.ply");
  write_bytes(dir + "/broken.ply", binary_triangle(true, 0.0f, 0x7fffffff));
  fs::create_directory(dir + "/folder.ply");
  fs::create_symlink("/dev/full", dir + "/full.ply");
  fs::create_symlink("/dev/full", dir + "/full.msh");
  struct Row {
    std::string args;
    int status;
    std::string message;  // part of the last line
  } rows[] = {
      {dir + "/broken.ply 0.1", 1, "is outside the nodes"},
      {dir + "/folder.ply 0.1", 1, "it is a directory"},
      {dir + "/ico.ply 1e400", 2, "Invalid maximum error"},
      {dir + "/ico.ply 0.1 " + dir + "/out.obj", 2, "Unknown output format"},
      {dir + "/ico.ply 0.01 " + dir + "/full.ply", 1, "Problems saving"},
      {dir + "/ico.ply 0.01 " + dir + "/full.msh", 1, "Problems saving"},
  };
  const std::set<std::string> before = entries(dir);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args);
    test::RunResult r = run_limited("tavrin-octree", row.args, 60, 1024);
    EXPECT_EQ(r.status, row.status) << r.output;
    EXPECT_NE(last_line(r.output).find(row.message), std::string::npos) << r.output;
  }
  // Failed outputs change nothing: the links to /dev/full stay as they were.
  EXPECT_EQ(entries(dir), before);
  EXPECT_TRUE(fs::is_symlink(dir + "/full.ply"));
  EXPECT_TRUE(fs::is_symlink(dir + "/full.msh"));
}

// Every input the fuzzer found stays a test: it must load or be refused
// without a crash (and, in the sanitizer build, without a memory error).
TEST(FuzzRegressions, EverySavedInputLoadsOrIsRefused) {
  const fs::path dir =
      fs::path(test::data_path("bunny.ply")).parent_path().parent_path() / "fuzz" / "regressions";
  ASSERT_TRUE(fs::is_directory(dir)) << dir;
  int count = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (!e.is_regular_file() || e.path().filename().string()[0] == '.') continue;
    SCOPED_TRACE(e.path().string());
    // load_ply wants a .ply name; the saved inputs keep the fuzzer's names.
    const std::string copy = test::temp_dir("fuzz_regression") + "/input.ply";
    fs::copy_file(e.path(), copy);
    test::MessageCapture capture;
    std::unique_ptr<Object> object = load_ply(copy);
    EXPECT_FALSE(capture.messages().empty());
    if (object) {
      EXPECT_GT(object->num_nodes(), 0);
    }
    ++count;
  }
  RecordProperty("inputs", count);
}

}  // namespace
}  // namespace Tavrin
