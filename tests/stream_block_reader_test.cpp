// The block reader against the whole-file reader: for every block size the
// nodes, fields and faces it hands out, put together, are exactly those
// read_ply reads, in both byte orders and through both list parsers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "io/ply_block_reader.h"
#include "io/ply_reader.h"
#include "tests/stream_test_mesh.h"
#include "tests/test_support.h"

namespace Tavrin {
namespace {

TEST(StreamBlockReader, BlocksJoinToTheWholeFileRead) {
  const std::string dir = test::temp_dir("block_reader");
  test::write_sheet(dir + "/sheet.ply", false);
  test::write_sheet(dir + "/sheet_be.ply", true);
  // The sheet's faces carry a second property (the general parser); these
  // hold lists alone (the direct one), with int and unsigned entries.
  const std::string files[] = {dir + "/sheet.ply", dir + "/sheet_be.ply",
                               test::data_path("teapot.ply"), test::data_path("list_uint.ply"),
                               test::data_path("with_edges.ply")};
  for (const std::string& file : files) {
    PlyData whole;
    ASSERT_TRUE(read_ply(file, whole)) << whole.error;
    for (int64_t block : {1, 2, 7, 1 << 20}) {
      SCOPED_TRACE(file + " block " + std::to_string(block));
      PlyBlockReader reader;
      ASSERT_TRUE(reader.open(file)) << reader.error();
      ASSERT_EQ(reader.num_nodes(), whole.num_nodes);
      ASSERT_EQ(reader.field_names(), whole.scalar_names);
      const size_t fields = whole.scalar_names.size();
      std::vector<float> xyz(3 * whole.num_nodes);
      std::vector<std::vector<float>> values(fields, std::vector<float>(whole.num_nodes));
      for (int64_t first = 0; first < reader.num_nodes(); first += block) {
        const int64_t m = std::min(block, reader.num_nodes() - first);
        std::vector<float*> dest(fields);
        for (size_t k = 0; k < fields; ++k) dest[k] = values[k].data() + first;
        ASSERT_TRUE(reader.read_vertices(first, m, xyz.data() + 3 * first, dest.data()));
      }
      EXPECT_TRUE(xyz == whole.coordinates);
      for (size_t k = 0; k < fields; ++k)  // bytes: NaN is not equal to itself
        EXPECT_EQ(0, std::memcmp(values[k].data(), whole.scalar_values[k].data(),
                                 values[k].size() * sizeof(float)));
      std::vector<int32_t> lines, triangles, quads;
      int64_t faces = 0;
      ASSERT_TRUE(reader.read_faces(block, [&](const PlyFaceBlock& b) {
        EXPECT_EQ(b.first_face, faces);
        EXPECT_EQ(b.first_triangle, static_cast<int64_t>(triangles.size() / 3));
        faces +=
            static_cast<int64_t>(b.lines.size() / 2 + b.triangles.size() / 3 + b.quads.size() / 4) +
            b.skipped;
        EXPECT_LE(faces - b.first_face, block);
        lines.insert(lines.end(), b.lines.begin(), b.lines.end());
        triangles.insert(triangles.end(), b.triangles.begin(), b.triangles.end());
        quads.insert(quads.end(), b.quads.begin(), b.quads.end());
        return true;
      })) << reader.error();
      EXPECT_EQ(faces, reader.num_face_records());
      EXPECT_TRUE(lines == whole.lines);
      EXPECT_TRUE(triangles == whole.triangles);
      EXPECT_TRUE(quads == whole.quads);
    }
  }
}

}  // namespace
}  // namespace Tavrin
