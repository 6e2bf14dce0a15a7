// The two roads on the same files: what one accepts the other accepts with
// the same files written, what one refuses the other refuses with the same
// line; and the streamed road's settings are refused like its flags.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/steady_lines.h"
#include "tests/test_support.h"

namespace Tavrin {
namespace {

namespace fs = std::filesystem;

std::string with_trailing_element(const std::string& ply, const std::string& header,
                                  const std::string& body) {
  std::string out = ply;
  out.insert(out.find("end_header\n"), header);
  return out + body;
}

TEST(StreamAgreement, BothRoadsAcceptAndRefuseTheSameFiles) {
  const std::string dir = test::temp_dir("stream_agree");
  const std::string bunny = test::read_file(test::data_path("bunny.ply"));
  const std::string huge_list("\xf0\xff\xff\xff\0\0\0\0\0\0\xf0\x3f", 12);
  const struct {
    const char* name;
    std::string bytes;
    const char* memory_says;  // empty: accepted
  } cases[] = {
      {"no_extra_body", with_trailing_element(bunny, "element extra 5\nproperty double q\n", ""),
       "Unexpected end of file while reading 'extra' number 0 of 5"},
      {"short_extra", with_trailing_element(bunny, "element extra 2\nproperty int q\n", "abcd"),
       "Unexpected end of file while reading 'extra' number 1 of 2"},
      {"huge_list",
       with_trailing_element(bunny, "element extra 1\nproperty list uint double q\n", huge_list),
       "Unexpected end of file while reading 'q' of 'extra' number 0"},
      {"good_extra",
       with_trailing_element(bunny, "element extra 2\nproperty int q\n", "abcdefgh0123"), ""},
      {"not_ply", "hello\n" + std::string(100000, 'x'), "Wrong magic number. Expected 'ply'"},
      {"plyx", "plyx\n" + bunny.substr(4), "Wrong magic number. Expected 'ply'"},
      {"two_bytes", "pl", "Unable to read magic number from file"},
      // A '\\' after the last '/' is part of the name on both roads.
      {"back\\slash",
       "ply\nformat binary_little_endian 1.0\nelement vertex 1\nproperty float x\nproperty "
       "float y\nproperty float z\nend_header\n" +
           std::string(12, '\0'),
       "No faces in 'back\\slash.ply'"}};
  const std::string tavrin = test::binary_path("tavrin");
  const std::string stream = test::binary_path("tavrin-stream") + " --block 100";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string input = dir + "/" + c.name + ".ply";
    std::ofstream(input, std::ios::binary) << c.bytes;
    const std::string base = dir + "/" + c.name + "_simp_HASH_UC_0016";
    std::string files[2];
    test::RunResult runs[2];
    const std::string commands[2] = {tavrin, stream};
    for (int road = 0; road < 2; ++road) {
      runs[road] = test::run_command(commands[road] + " '" + input + "' HASH_UC 16",
                                     "TAVRIN_STREAM_BUDGET=64G");
      if (test::file_exists(base + ".msh"))
        files[road] = test::read_file(base + ".msh") + test::read_file(base + ".res");
      fs::remove(base + ".msh");
      fs::remove(base + ".res");
    }
    EXPECT_EQ(runs[0].status, *c.memory_says ? 1 : 0) << runs[0].output;
    EXPECT_NE(runs[0].output.find(c.memory_says), std::string::npos) << runs[0].output;
    EXPECT_EQ(runs[1].status, runs[0].status);
    EXPECT_EQ(test::steady_lines(runs[1].output), test::steady_lines(runs[0].output));
    EXPECT_TRUE(files[0] == files[1]);
    EXPECT_EQ(files[0].empty(), *c.memory_says != '\0');
  }
}

TEST(StreamAgreement, SettingsAreRefusedLikeTheFlags) {
  const std::string dir = test::temp_dir("stream_settings");
  const std::string input = dir + "/bunny.ply";
  fs::copy_file(test::data_path("bunny.ply"), input);
  const std::string tavrin = test::binary_path("tavrin");
  const std::string stream = test::binary_path("tavrin-stream");
  const struct {
    std::string command, env;
    int status;
    const char* says;
    const char* after = "";  // arguments after the grid
  } cases[] = {
      {tavrin, "TAVRIN_STREAM_BUDGET=1X", 2, "Invalid TAVRIN_STREAM_BUDGET '1X': give a positive"},
      {stream, "TAVRIN_STREAM_BUDGET=abc", 2, "Invalid TAVRIN_STREAM_BUDGET 'abc'"},
      {tavrin, "TAVRIN_STREAM_BUDGET=-1", 2, "Invalid TAVRIN_STREAM_BUDGET '-1'"},
      {stream, "TAVRIN_STREAM_BLOCK=0", 2, "Invalid TAVRIN_STREAM_BLOCK '0'"},
      {tavrin, "TAVRIN_STREAM_BLOCK=abc", 2, "Invalid TAVRIN_STREAM_BLOCK 'abc'"},
      {stream + " --frobnicate", "", 2, "Unknown option '--frobnicate'."},
      {tavrin, "", 2, "Unknown option '--frobnicate'.", " --frobnicate"},
      {stream + " --block 99999999999", "", 0,
       "--block '99999999999' is capped at 16.777.216 vertices or faces."},
      {tavrin, "TAVRIN_STREAM_BLOCK=99999999999 TAVRIN_STREAM_BUDGET=1K", 0,
       "TAVRIN_STREAM_BLOCK '99999999999' is capped at 16.777.216"},
      {tavrin, "TAVRIN_STREAM_BLOCK= TAVRIN_STREAM_BUDGET=", 0, "Files '"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command + " " + c.env);
    const test::RunResult r =
        test::run_command(c.command + " " + input + " HASH_UC 16" + c.after, c.env);
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("load factor"), std::string::npos);
    EXPECT_EQ(test::file_exists(dir + "/bunny_simp_HASH_UC_0016.msh"), c.status == 0);
    fs::remove(dir + "/bunny_simp_HASH_UC_0016.msh");
    fs::remove(dir + "/bunny_simp_HASH_UC_0016.res");
  }
}

}  // namespace
}  // namespace Tavrin
