// A file rewritten while the streamed road reads it: the run gives the result
// of the old file or of the new one, or refuses in one line and writes
// nothing; it never crashes and never writes a mix of the two.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "io/ply_block_reader.h"
#include "tests/stream_test_mesh.h"
#include "tests/test_support.h"

namespace Tavrin {
namespace {

namespace fs = std::filesystem;

// Offset of the byte after "end_header\n".
size_t body_offset(const std::string& bytes) { return bytes.find("end_header\n") + 11; }

void overwrite(const std::string& path, size_t offset, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
            static_cast<ssize_t>(bytes.size()));
  ::close(fd);
}

TEST(StreamChangedFile, RewritesDuringARunGiveAResultOrOneLine) {
  const std::string dir = test::temp_dir("stream_changed");
  const std::string input = dir + "/dragon.ply", base = dir + "/dragon_simp_HASH_UC_0064";
  const std::string old_bytes = test::read_file(test::data_path("dragon_small.ply"));
  // The new file: the same header and vertices, the first half of the face
  // records replaced by the second half (other valid faces, other counts
  // per node range). Every face record of this file takes 13 bytes.
  const size_t faces = body_offset(old_bytes) + 22998 * 12, half = 47794 / 2 * 13;
  std::string new_bytes = old_bytes;
  new_bytes.replace(faces, half, old_bytes, faces + half, half);
  const std::string command =
      test::binary_path("tavrin-stream") + " " + input + " HASH_UC 64 --block 500 --budget 1K";
  auto run = [&](const std::string& bytes, std::string& msh, std::string& res, double& seconds) {
    fs::remove(input);
    overwrite(input, 0, bytes);
    const auto start = std::chrono::steady_clock::now();
    const test::RunResult r = test::run_command(command, "OMP_NUM_THREADS=1");
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    msh = test::file_exists(base + ".msh") ? test::read_file(base + ".msh") : "";
    res = test::file_exists(base + ".res") ? test::read_file(base + ".res") : "";
    fs::remove(base + ".msh");
    fs::remove(base + ".res");
    return r;
  };
  std::string old_msh, old_res, new_msh, new_res, msh, res;
  double seconds = 0, ignored = 0;
  ASSERT_EQ(run(new_bytes, new_msh, new_res, ignored).status, 0);
  const test::RunResult first = run(old_bytes, old_msh, old_res, seconds);
  ASSERT_EQ(first.status, 0) << first.output;
  ASSERT_NE(old_msh, new_msh);

  const std::string refusal = "'" + input + "' changed while it was being read.\n";
  int refused = 0;
  for (int step = 0; step < 12; ++step) {
    const double delay = seconds * step / 10.0;
    SCOPED_TRACE("rewrite after " + std::to_string(delay) + " s");
    fs::remove(input);
    overwrite(input, 0, old_bytes);
    std::thread writer([&] {
      std::this_thread::sleep_for(std::chrono::duration<double>(delay));
      overwrite(input, faces, new_bytes.substr(faces, half));
    });
    const test::RunResult r = test::run_command(command, "OMP_NUM_THREADS=1");
    writer.join();
    msh = test::file_exists(base + ".msh") ? test::read_file(base + ".msh") : "";
    res = test::file_exists(base + ".res") ? test::read_file(base + ".res") : "";
    fs::remove(base + ".msh");
    fs::remove(base + ".res");
    if (r.status == 0) {
      EXPECT_TRUE((msh == old_msh && res == old_res) || (msh == new_msh && res == new_res));
    } else {
      ASSERT_EQ(r.status, 1) << r.output;
      ++refused;
      EXPECT_TRUE(msh.empty() && res.empty());
      ASSERT_GE(r.output.size(), refusal.size());
      EXPECT_EQ(r.output.substr(r.output.size() - refusal.size()), refusal) << r.output;
    }
  }
  EXPECT_GT(refused, 0);
}

// The reader itself, file changed between two reads of the same data: the
// second read fails with the one line and never hands out the new data.
TEST(StreamChangedFile, ReaderRefusesDataThatDiffersFromItsFirstRead) {
  const std::string dir = test::temp_dir("stream_changed_reader");
  const std::string path = dir + "/sheet.ply";
  test::write_sheet(path, false);
  const std::string bytes = test::read_file(path);
  const size_t body = body_offset(bytes);
  const size_t record = 12 * 4, faces = body + 54 * record + 3 * 8;
  struct Change {
    const char* what;
    size_t offset;
    std::string bytes;  // written there; empty: the file is cut at offset
  } changes[] = {{"a field value", body + 5 * record + 16, std::string(4, '\x41')},
                 {"a face index, still valid", faces + 1, std::string("\x05\x00\x00\x00", 4)},
                 {"a face index, outside", faces + 1, std::string("\xff\xff\x00\x00", 4)},
                 {"the end cut", bytes.size() - 7, ""}};
  for (const Change& c : changes) {
    SCOPED_TRACE(c.what);
    fs::remove(path);
    overwrite(path, 0, bytes);
    PlyBlockReader reader;
    ASSERT_TRUE(reader.open(path)) << reader.error();
    std::vector<float> xyz(3 * 54), values(54);
    std::vector<float*> fields(9, nullptr);
    fields[0] = values.data();
    auto all_faces = [&](int& blocks) {
      blocks = 0;
      return reader.read_faces(4, [&](const PlyFaceBlock&) { return ++blocks > 0; });
    };
    int blocks = 0, first_blocks = 0;
    ASSERT_TRUE(reader.read_vertices(0, 54, xyz.data(), fields.data()));
    ASSERT_TRUE(all_faces(first_blocks));
    if (c.bytes.empty())
      ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(c.offset)), 0);
    else
      overwrite(path, c.offset, c.bytes);
    const bool vertices = reader.read_vertices(0, 54, nullptr, fields.data());
    const bool walked = all_faces(blocks);
    EXPECT_FALSE(vertices && walked);
    EXPECT_TRUE(reader.changed());
    EXPECT_EQ(reader.error(), "'" + path + "' changed while it was being read.");
    EXPECT_LE(blocks, first_blocks);
  }
}

}  // namespace
}  // namespace Tavrin
