#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>

#include "io/ply_file.h"
#include "io/ply_reader.h"
#include "io/ply_writer.h"
#include "tests/test_support.h"

namespace Tavrin {
namespace {

using test::data_path;

struct Expected {
  const char* file;
  int nodes, triangles, lines;
  std::vector<std::string> scalars;
  bool boundary;
  const char* message;
};

// Counts of every test mesh as read by an independent reader.
const std::vector<Expected>& expected_meshes() {
  static const std::vector<Expected> table = {
      {"bunny.ply",
       1839,
       3674,
       0,
       {},
       false,
       "num nodes = 1.839, num triangles = 3.674, scalars = 0"},
      {"bunny_ascii.ply",
       1839,
       3674,
       0,
       {},
       false,
       "num nodes = 1.839, num triangles = 3.674, scalars = 0"},
      {"bunny_attrs.ply",
       1839,
       3674,
       0,
       {"nx", "ny", "nz", "red", "green", "blue", "temp C"},
       false,
       "num nodes = 1.839, num triangles = 3.674, scalars = 7"},
      {"comments.ply",
       4,
       4,
       0,
       {"quality"},
       false,
       "num nodes = 4, num triangles = 4, scalars = 1"},
      {"double_int16.ply",
       16,
       18,
       0,
       {"level", "offset"},
       true,
       "num nodes = 16, num triangles = 18, scalars = 2"},
      {"dragon_small.ply",
       22998,
       47794,
       0,
       {},
       false,
       "num nodes = 22.998, num triangles = 47.794, scalars = 0"},
      {"ico_ascii.ply",
       12,
       20,
       0,
       {"quality", "id", "flags"},
       false,
       "num nodes = 12, num triangles = 20, scalars = 3"},
      {"ico_be.ply",
       12,
       20,
       0,
       {"quality", "id", "flags"},
       false,
       "num nodes = 12, num triangles = 20, scalars = 3"},
      {"ico_le.ply",
       12,
       20,
       0,
       {"quality", "id", "flags"},
       false,
       "num nodes = 12, num triangles = 20, scalars = 3"},
      {"list_uint.ply", 48, 96, 0, {}, false, "num nodes = 48, num triangles = 96, scalars = 0"},
      {"quads.ply", 26, 27, 3, {}, true, "num nodes = 26, num triangles = 27, scalars = 0"},
      {"teapot.ply",
       2049,
       4032,
       0,
       {},
       true,
       "num nodes = 2.049, num triangles = 4.032, scalars = 0"},
      {"with_edges.ply", 8, 12, 0, {}, false, "num nodes = 8, num triangles = 12, scalars = 0"},
  };
  return table;
}

TEST(IoPlyRead, EveryTestMeshMatchesExpectedCounts) {
  for (const Expected& e : expected_meshes()) {
    SCOPED_TRACE(e.file);
    PlyData data;
    ASSERT_TRUE(read_ply(data_path(e.file), data)) << data.error;
    EXPECT_EQ(data.num_nodes, e.nodes);
    EXPECT_EQ(data.num_triangles + 2 * data.num_quads, e.triangles);
    EXPECT_EQ(data.num_lines, e.lines);
    EXPECT_EQ(data.scalar_names, e.scalars);

    test::MessageCapture capture;
    std::unique_ptr<Object> object = load_ply(data_path(e.file));
    ASSERT_TRUE(object);
    ASSERT_FALSE(capture.messages().empty());
    EXPECT_EQ(capture.messages().back(), std::string(e.message) + "\n");
    EXPECT_EQ(object->num_triangles(), e.triangles);
    EXPECT_EQ(object->num_lines(), e.lines);
    EXPECT_EQ(object->name, e.file);
    std::vector<std::string> names = e.scalars;
    if (names.empty()) names.push_back("Artificial");
    if (e.boundary) names.push_back("Boundary");
    EXPECT_EQ(object->scalar_names(), names);
  }
}

TEST(IoPlyRead, StoragesOfTheSameMeshReadIdentically) {
  const std::vector<std::vector<const char*>> groups = {
      {"bunny.ply", "bunny_ascii.ply"}, {"ico_le.ply", "ico_be.ply", "ico_ascii.ply"}};
  for (const auto& group : groups) {
    PlyData first;
    ASSERT_TRUE(read_ply(data_path(group[0]), first));
    for (size_t i = 1; i < group.size(); ++i) {
      SCOPED_TRACE(group[i]);
      PlyData other;
      ASSERT_TRUE(read_ply(data_path(group[i]), other)) << other.error;
      EXPECT_EQ(other.coordinates, first.coordinates);
      EXPECT_EQ(other.triangles, first.triangles);
      EXPECT_EQ(other.scalar_values, first.scalar_values);
      EXPECT_EQ(other.scalar_names, first.scalar_names);
    }
  }
  PlyData ico;
  ASSERT_TRUE(read_ply(data_path("ico_be.ply"), ico));
  EXPECT_EQ(ico.scalar_values[1][3], 4e9f);        // uint above 2^31
  EXPECT_EQ(ico.scalar_values[2][11], -11000.0f);  // signed short
}

TEST(IoPlyRead, FacesOfEveryLengthAreSorted) {
  PlyData data;
  ASSERT_TRUE(read_ply(data_path("quads.ply"), data));
  EXPECT_EQ(data.num_quads, 13);
  EXPECT_EQ(data.num_triangles, 1);
  ASSERT_EQ(data.num_lines, 3);
  EXPECT_EQ(data.lines, (std::vector<int32_t>{15, 16, 16, 17, 17, 18}));
  EXPECT_EQ(data.triangles, (std::vector<int32_t>{9, 23, 14}));
  // The hexagon is the quad of its first four corners.
  EXPECT_EQ(std::vector<int32_t>(data.quads.begin() + 48, data.quads.end()),
            (std::vector<int32_t>{20, 21, 22, 23}));
}

// ------------------------------------------------------------------ oracle

// A small writer of PLY files of any storage and types, independent of the
// library under test.
struct TestPly {
  std::string storage;  // ascii, binary_little_endian, binary_big_endian
  std::string header, body;

  void value(const std::string& type, double v) {
    if (storage == "ascii") {
      char buf[64];
      bool integer = type != "float" && type != "double" && type != "float32" && type != "float64";
      if (integer)
        snprintf(buf, sizeof buf, "%lld ", static_cast<long long>(v));
      else
        snprintf(buf, sizeof buf, "%.17g ", v);
      body += buf;
      return;
    }
    char bytes[8];
    size_t n = 0;
    auto put = [&](auto x) {
      std::memcpy(bytes, &x, sizeof x);
      n = sizeof x;
    };
    if (type == "char" || type == "int8") put(static_cast<int8_t>(v));
    if (type == "uchar" || type == "uint8") put(static_cast<uint8_t>(v));
    if (type == "short" || type == "int16") put(static_cast<int16_t>(v));
    if (type == "ushort" || type == "uint16") put(static_cast<uint16_t>(v));
    if (type == "int" || type == "int32") put(static_cast<int32_t>(v));
    if (type == "uint" || type == "uint32") put(static_cast<uint32_t>(v));
    if (type == "float" || type == "float32") put(static_cast<float>(v));
    if (type == "double" || type == "float64") put(v);
    if (storage == "binary_big_endian") std::reverse(bytes, bytes + n);
    body.append(bytes, n);
  }
  void end_record() {
    if (storage == "ascii") body += "\n";
  }
  std::string text() const {
    return "ply\nformat " + storage + " 1.0\n" + header + "end_header\n" + body;
  }
};

void write_text(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(IoPlyRead, EveryStorageAndTypeAgainstAnIndependentWriter) {
  const std::string dir = test::temp_dir("ply_oracle");
  const char* storages[] = {"ascii", "binary_little_endian", "binary_big_endian"};
  const char* value_types[] = {"char",  "uchar",  "short",   "ushort", "int",   "uint",
                               "float", "double", "int8",    "uint8",  "int16", "uint16",
                               "int32", "uint32", "float32", "float64"};
  const char* count_types[] = {"uchar", "char", "ushort", "int", "uint32"};
  const char* index_types[] = {"int",   "uint",  "short", "ushort",
                               "uchar", "int32", "float", "double"};
  std::mt19937 rng(7);
  int file = 0;
  for (const char* storage : storages)
    for (const char* vt : value_types)
      for (int variant = 0; variant < 2; ++variant) {
        const char* ct = count_types[(file + variant) % std::size(count_types)];
        const char* it = index_types[(file * 3 + variant) % std::size(index_types)];
        SCOPED_TRACE(std::string(storage) + " " + vt + " " + ct + " " + it);
        const int nodes = 9;
        TestPly ply{storage, "", ""};
        // An element nobody reads comes first in the second variant.
        auto extra = [&] {
          ply.header +=
              "element material 2\nproperty float a\nproperty list uchar short ids\n"
              "property double b\n";
          for (int m = 0; m < 2; ++m) {
            ply.value("float", 1.5);
            ply.value("uchar", m + 1);
            for (int j = 0; j <= m; ++j) ply.value("short", j);
            ply.value("double", -2);
            ply.end_record();
          }
        };
        if (variant == 1) extra();
        ply.header += "element vertex " + std::to_string(nodes) + "\nproperty " + std::string(vt) +
                      " x\nproperty float y\nproperty " + vt + " z\nproperty " + vt + " val%2Fue\n";
        std::vector<float> coords, values;
        for (int i = 0; i < nodes; ++i) {
          double x = i % 5, y = 0.25 * i - 1, z = (i * 7) % 11, s = i * 3 % 100;
          ply.value(vt, x);
          ply.value("float", y);
          ply.value(vt, z);
          ply.value(vt, s);
          ply.end_record();
          coords.insert(coords.end(), {float(x), float(y), float(z)});
          values.push_back(float(s));
        }
        ply.header += "element face 6\nproperty uchar flag\nproperty list " + std::string(ct) +
                      " " + it + " vertex_indices\n";
        std::vector<int32_t> lines, tris, quads;
        for (int f = 0; f < 6; ++f) {
          int len = (f * 5 + variant + file) % 7;  // 0..6 corners
          ply.value("uchar", f);
          ply.value(ct, len);
          std::vector<int32_t> idx;
          for (int j = 0; j < len; ++j) idx.push_back(static_cast<int32_t>(rng() % nodes));
          for (int32_t v : idx) ply.value(it, v);
          ply.end_record();
          if (len == 2) lines.insert(lines.end(), idx.begin(), idx.end());
          if (len == 3) tris.insert(tris.end(), idx.begin(), idx.end());
          if (len >= 4) quads.insert(quads.end(), idx.begin(), idx.begin() + 4);
        }
        if (variant == 0) extra();
        std::string path = dir + "/f" + std::to_string(file++) + ".ply";
        write_text(path, ply.text());
        PlyData data;
        ASSERT_TRUE(read_ply(path, data)) << data.error;
        EXPECT_EQ(data.coordinates, coords);
        ASSERT_EQ(data.scalar_values.size(), 1u);
        EXPECT_EQ(data.scalar_values[0], values);
        EXPECT_EQ(data.scalar_names[0], "val/ue");
        EXPECT_EQ(data.lines, lines);
        EXPECT_EQ(data.triangles, tris);
        EXPECT_EQ(data.quads, quads);
      }
}

TEST(IoPlyRead, BinaryTriangleFastPathMixedWithOtherLengths) {
  // Triangles interleaved with a quad and a too-short list in the 13-byte layout.
  for (const char* storage : {"binary_little_endian", "binary_big_endian"}) {
    TestPly ply{storage,
                "element vertex 5\nproperty float x\nproperty float y\nproperty float z\n"
                "element face 5\nproperty list uchar int vertex_indices\n",
                ""};
    for (int i = 0; i < 5; ++i)
      for (int c = 0; c < 3; ++c) ply.value("float", i + c);
    const std::vector<std::vector<int>> faces = {
        {0, 1, 2}, {0, 1, 2, 3}, {4}, {2, 3, 4}, {1, 2, 3}};
    for (const auto& f : faces) {
      ply.value("uchar", static_cast<double>(f.size()));
      for (int v : f) ply.value("int", v);
    }
    std::string path = test::temp_dir("ply_fast") + "/m.ply";
    write_text(path, ply.text());
    PlyData data;
    ASSERT_TRUE(read_ply(path, data)) << data.error;
    EXPECT_EQ(data.triangles, (std::vector<int32_t>{0, 1, 2, 2, 3, 4, 1, 2, 3}));
    EXPECT_EQ(data.quads, (std::vector<int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(data.skipped_faces, 1);
  }
}

// A body big enough for the parallel conversion of the 13-byte triangle
// records, with other lengths well inside it: the record read must equal the
// flat read (quads split after the triangles, segments numbered in file
// order) for any number of threads, in both byte orders.
TEST(IoPlyRead, RecordsMatchFlatArraysAcrossThreadCounts) {
  const int saved = omp_get_max_threads();
  for (const char* storage : {"binary_little_endian", "binary_big_endian"}) {
    const int records = 200000;
    TestPly ply{storage,
                "element vertex 6\nproperty float x\nproperty float y\nproperty float z\n"
                "element face " +
                    std::to_string(records) + "\nproperty list uchar int vertex_indices\n",
                ""};
    for (int i = 0; i < 6; ++i)
      for (int c = 0; c < 3; ++c) ply.value("float", i * 3 + c);
    std::mt19937 rng(7);
    for (int r = 0; r < records; ++r) {
      const int length = r == 150001 ? 4 : r == 150002 ? 2 : r == 199999 ? 5 : 3;
      ply.value("uchar", length);
      for (int j = 0; j < length; ++j) ply.value("int", static_cast<double>(rng() % 6));
    }
    const std::string path = test::temp_dir("ply_records") + "/m.ply";
    write_text(path, ply.text());
    PlyData flat;
    ASSERT_TRUE(read_ply(path, flat)) << flat.error;
    ASSERT_EQ(flat.num_triangles, records - 3);
    for (int threads : {1, 2, 3}) {
      omp_set_num_threads(threads);
      PlyMesh mesh;
      ASSERT_TRUE(read_ply_mesh(path, mesh)) << mesh.error;
      ASSERT_EQ(mesh.triangles.size(),
                static_cast<size_t>(flat.num_triangles + 2 * flat.num_quads));
      bool same = true;
      for (int t = 0; t < flat.num_triangles; ++t) {
        const TriangleRecord& r = mesh.triangles[t];
        same = same && r.a == flat.triangles[3 * t] && r.b == flat.triangles[3 * t + 1] &&
               r.c == flat.triangles[3 * t + 2] && r.tag == 0;
      }
      EXPECT_TRUE(same) << storage << ", " << threads << " threads";
      for (int q = 0; q < flat.num_quads; ++q) {
        const int32_t* d = &flat.quads[4 * q];
        const TriangleRecord& x = mesh.triangles[flat.num_triangles + 2 * q];
        const TriangleRecord& y = mesh.triangles[flat.num_triangles + 2 * q + 1];
        EXPECT_TRUE(x.a == d[0] && x.b == d[1] && x.c == d[2]);
        EXPECT_TRUE(y.a == d[2] && y.b == d[3] && y.c == d[0]);
      }
      ASSERT_EQ(mesh.lines.size(), 1u);
      EXPECT_EQ(mesh.lines[0].a, flat.lines[0]);
      EXPECT_EQ(mesh.lines[0].b, flat.lines[1]);
      EXPECT_EQ(mesh.lines[0].source, 0u);
      ASSERT_EQ(mesh.nodes.size(), 6u);
      EXPECT_EQ(mesh.nodes[5], Vec3(15, 16, 17));
    }
  }
  omp_set_num_threads(saved);
}

// An ascii body that ends right after the last index of its only triangle.
TEST(IoPlyRead, AsciiTightestBody) {
  const std::string path = test::temp_dir("ply_tight") + "/m.ply";
  write_text(path,
             "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
             "property float z\nelement face 1\nproperty list uchar int vertex_indices\n"
             "end_header\n0 0 0 1 0 0 0 1 0 3 0 1 2");
  PlyMesh mesh;
  ASSERT_TRUE(read_ply_mesh(path, mesh)) << mesh.error;
  ASSERT_EQ(mesh.triangles.size(), 1u);
  EXPECT_EQ(mesh.triangles[0].c, 2);
}

// ------------------------------------------------------------------ names

TEST(IoPlyNames, DecodeAndEncode) {
  struct Case {
    const char* text;
    std::optional<std::string> decoded;
  } cases[] = {
      {"temp%20C", "temp C"},    {"nx", "nx"},
      {"a%2fb%2F", "a/b/"},      {"x-_.~9", "x-_.~9"},
      {"", std::nullopt},        {"50%", std::nullopt},
      {"%2", std::nullopt},      {"%zz", std::nullopt},
      {"a/b", std::nullopt},     {"%41%42", "AB"},
      {"%00temp", std::nullopt}, {"temp%00x", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(decode_property_name(c.text), c.decoded) << c.text;
  EXPECT_EQ(encode_property_name("temp C"), "temp%20C");
  EXPECT_EQ(encode_property_name("Normal ID/\xff"), "Normal%20ID%2f%ff");
  EXPECT_EQ(encode_property_name(""), std::nullopt);
  for (std::string name : {"temp C", "100% sure", "\x01\x7f\x80", "plain"})
    EXPECT_EQ(decode_property_name(*encode_property_name(name)), name);
}

// ------------------------------------------------------------------ hostile input

const char* kAsciiHead =
    "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float "
    "z\n"
    "element face 1\nproperty list uchar int vertex_indices\nend_header\n";

std::string binary_triangle(const char* storage, int count_bytes_value, int vertices_declared,
                            bool truncate) {
  TestPly ply{storage,
              "element vertex " + std::to_string(vertices_declared) +
                  "\nproperty float x\nproperty float y\nproperty float z\n"
                  "element face 1\nproperty list char int vertex_indices\n",
              ""};
  for (int i = 0; i < 9; ++i) ply.value("float", i);
  ply.value("char", count_bytes_value);
  for (int i = 0; i < 3; ++i) ply.value("int", i);
  std::string text = ply.text();
  if (truncate) text.resize(text.size() - 5);
  return text;
}

TEST(IoPlyHostile, BrokenFilesAreRefusedWithOneClearMessage) {
  const std::string inf_bytes = [] {
    TestPly ply{"binary_little_endian",
                "element vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
                "element face 1\nproperty list uchar int vertex_indices\n",
                ""};
    for (int i = 0; i < 9; ++i) ply.value("float", i == 4 ? INFINITY : i);
    ply.value("uchar", 3);
    for (int i = 0; i < 3; ++i) ply.value("int", i);
    return ply.text();
  }();
  struct Case {
    const char* label;
    std::string content;
    const char* error;
  } cases[] = {
      {"empty", "", "Unable to read magic number from file"},
      {"magic", "plx\n", "Wrong magic number. Expected 'ply'"},
      {"format", "ply\nformat ascii 2.0\nend_header\n", "Invalid file format"},
      {"storage", "ply\nformat text 1.0\nend_header\n", "Invalid file format"},
      {"unknown type", "ply\nformat ascii 1.0\nelement vertex 1\nproperty quad x\nend_header\n0\n",
       "Unexpected token 'quad'"},
      {"float count type",
       "ply\nformat ascii 1.0\nelement face 1\nproperty list float int v\nend_header\n",
       "Unexpected token 'float'"},
      {"property first", "ply\nformat ascii 1.0\nproperty float x\nend_header\n",
       "Unexpected token 'property'"},
      {"no end_header", "ply\nformat ascii 1.0\nelement vertex 1\n", "Unexpected end of file"},
      {"bad count", "ply\nformat ascii 1.0\nelement vertex -3\nend_header\n",
       "Invalid instance count '-3'"},
      {"absurd ascii",
       "ply\nformat ascii 1.0\nelement vertex 4000000000\nproperty float x\nend_header\n1\n",
       "Unexpected end of file: element 'vertex' declares 4000000000"},
      {"absurd binary",
       "ply\nformat binary_little_endian 1.0\nelement vertex 4000000000\nproperty float "
       "x\nend_header\n1234",
       "Unexpected end of file: element 'vertex' declares 4000000000"},
      {"huge int64",
       "ply\nformat ascii 1.0\nelement vertex 9223372036854775807\nproperty float x\nproperty "
       "float y\nend_header\n",
       "Unexpected end of file"},
      {"no vertex",
       "ply\nformat ascii 1.0\nelement face 1\nproperty list uchar int "
       "vertex_indices\nend_header\n3 0 1 2\n",
       "No element 'vertex'"},
      {"no z",
       "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\nend_header\n0 "
       "0\n",
       "Element 'vertex' has no property 'z'"},
      {"index too big", std::string(kAsciiHead) + "0 0 0\n1 0 0\n0 1 0\n3 0 1 3\n",
       "Face index 3 of triangle 0 (element 'face') is outside the nodes 0..2"},
      {"negative index", std::string(kAsciiHead) + "0 0 0\n1 0 0\n0 1 0\n3 0 -1 2\n",
       "Face index -1"},
      {"nan", std::string(kAsciiHead) + "0 0 0\n1 nan 0\n0 1 0\n3 0 1 2\n",
       "Vertex 1 has a non-finite coordinate y"},
      {"overflow", std::string(kAsciiHead) + "0 0 0\n1 0 0\n0 1 1e999\n3 0 1 2\n",
       "Vertex 2 has a non-finite coordinate z"},
      {"float overflow", std::string(kAsciiHead) + "0 0 0\n1 0 0\n0 1 1e300\n3 0 1 2\n",
       "Vertex 2 has a non-finite"},
      {"binary inf", inf_bytes, "Vertex 1 has a non-finite coordinate y"},
      {"garbage", std::string(kAsciiHead) + "0 0 0\n1 zz 0\n0 1 0\n3 0 1 2\n",
       "Error reading 'y' of 'vertex' number 1: 'zz' is not a number"},
      {"short ascii", std::string(kAsciiHead) + "0 0 0\n1 0 0\n0 1 0\n3 0 1\n",
       "Unexpected end of file while reading 'vertex_indices' of 'face' number 0"},
      {"negative list", std::string(kAsciiHead) + "0 0 0\n1 0 0\n0 1 0\n-1 0 1 2\n",
       "negative list length"},
      {"negative binary list", binary_triangle("binary_little_endian", -1, 3, false),
       "negative list length"},
      {"list past end", binary_triangle("binary_big_endian", 100, 3, false),
       "Unexpected end of file"},
      {"truncated", binary_triangle("binary_little_endian", 3, 3, true), "Unexpected end of file"},
      {"more vertices than data", binary_triangle("binary_little_endian", 3, 9, false),
       "Unexpected end of file"},
      {"indices not a list",
       "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\nproperty "
       "float z\n"
       "element face 1\nproperty int vertex_indices\nend_header\n0 0 0\n0\n",
       "'vertex_indices' of element 'face' is not a list"},
  };
  const std::string dir = test::temp_dir("ply_hostile");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::string path = dir + "/bad.ply";
    write_text(path, c.content);
    PlyData data;
    EXPECT_FALSE(read_ply(path, data));
    EXPECT_NE(data.error.find(c.error), std::string::npos) << data.error;
    EXPECT_TRUE(data.coordinates.empty());
    test::MessageCapture capture;
    EXPECT_FALSE(load_ply(path));
    ASSERT_EQ(capture.messages().size(), 1u);
    EXPECT_EQ(capture.messages()[0], data.error + "\n");
  }
  PlyData data;
  EXPECT_FALSE(read_ply(dir + "/missing.ply", data));
  EXPECT_NE(data.error.find("Unable to open file"), std::string::npos);
}

TEST(IoPlyHostile, LoadMessagesForNamesAndEmptyResults) {
  const std::string dir = test::temp_dir("ply_load");
  const std::string no_faces =
      "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float "
      "z\n"
      "element face 1\nproperty list uchar int vertex_index\nend_header\n0 0 0\n1 0 0\n0 1 0\n3 0 "
      "1 2\n";
  write_text(dir + "/a.ply", no_faces);
  write_text(dir + "/model", no_faces);
  write_text(dir + "/model.ply.gz", no_faces);
  struct Case {
    std::string path;
    std::string message;
  } cases[] = {
      {dir + "/model", "No extension. Only PLY files are supported\n"},
      {dir + "/model.ply.gz", "Unsopported extension. Only PLY files are supported\n"},
      {dir + "/a.ply",
       "No faces in 'a.ply': it needs an element 'face' with a list property "
       "'vertex_indices' of at least 2 indices\n"},
  };
  for (const Case& c : cases) {
    test::MessageCapture capture;
    EXPECT_FALSE(load_ply(c.path));
    ASSERT_EQ(capture.messages().size(), 1u);
    EXPECT_EQ(capture.messages()[0], c.message);
  }
  // Upper-case extension, CRLF line ends, a skipped one-index face whose
  // index must not land in any record, and a property name that does not decode.
  std::string crlf =
      "ply\r\nformat ascii 1.0\r\nelement vertex 4\r\nproperty float x\r\nproperty float y\r\n"
      "property float z\r\nproperty float a/b\r\nelement face 3\r\nproperty list uchar int "
      "vertex_indices\r\n"
      "end_header\r\n0 0 0 1\r\n1 0 0 2\r\n0 1 0 3\r\n1 1 0 4\r\n3 0 1 2\r\n1 3\r\n3 1 3 2\r\n";
  write_text(dir + "/crlf.PLY", crlf);
  test::MessageCapture capture;
  std::unique_ptr<Object> object = load_ply(dir + "/crlf.PLY");
  ASSERT_TRUE(object);
  EXPECT_EQ(object->name, "crlf.PLY");
  EXPECT_EQ(object->path, dir + "/crlf.PLY");
  ASSERT_EQ(object->num_triangles(), 2);
  EXPECT_EQ(object->triangles[0].a, 0);
  EXPECT_EQ(object->triangles[0].c, 2);
  EXPECT_EQ(object->triangles[1].a, 1);
  EXPECT_EQ(object->triangles[1].b, 3);
  EXPECT_EQ(object->triangles[1].c, 2);
  EXPECT_EQ(object->scalars[0].name, "a/b");
  EXPECT_EQ(object->scalars[0].values, (std::vector<float>{1, 2, 3, 4}));
}

TEST(IoPlyLoad, DefaultModelBesideTheProgramOrEmpty) {
  test::MessageCapture capture;
  std::unique_ptr<Object> teapot = load_default_model(data_path("tavrin"));
  ASSERT_TRUE(teapot);
  EXPECT_EQ(teapot->num_nodes(), 2049);
  std::unique_ptr<Object> none = load_default_model(test::temp_dir("nomodel") + "/tavrin");
  ASSERT_TRUE(none);
  if (!test::file_exists("teapot.ply")) {
    EXPECT_EQ(none->num_nodes(), 0);
  }
  ASSERT_TRUE(load_default_model(""));
}

// ------------------------------------------------------------------ writing

TEST(IoPlyWrite, RoundTripKeepsNodesTrianglesAndScalars) {
  const std::string dir = test::temp_dir("ply_round");
  for (const Expected& e : expected_meshes()) {
    SCOPED_TRACE(e.file);
    test::MessageCapture capture;
    std::unique_ptr<Object> object = load_ply(data_path(e.file));
    ASSERT_TRUE(object);
    std::string path = dir + "/out.ply";
    ASSERT_EQ(write_ply(path, *object), object->num_triangles());
    PlyData back;
    ASSERT_TRUE(read_ply(path, back)) << back.error;
    ASSERT_EQ(back.num_nodes, object->num_nodes());
    for (int i = 0; i < back.num_nodes; ++i) {
      ASSERT_EQ(back.coordinates[3 * i], object->nodes[i].x);
      ASSERT_EQ(back.coordinates[3 * i + 1], object->nodes[i].y);
      ASSERT_EQ(back.coordinates[3 * i + 2], object->nodes[i].z);
    }
    EXPECT_EQ(back.num_lines, 0);
    ASSERT_EQ(back.num_triangles, object->num_triangles());
    for (int i = 0; i < back.num_triangles; ++i) {
      const TriangleRecord& t = object->triangles[i];
      ASSERT_EQ((std::vector<int32_t>(back.triangles.begin() + 3 * i,
                                      back.triangles.begin() + 3 * i + 3)),
                (std::vector<int32_t>{t.a, t.b, t.c}));
    }
    EXPECT_EQ(back.scalar_names, object->scalar_names());
    for (size_t k = 0; k < object->scalars.size(); ++k)
      EXPECT_EQ(back.scalar_values[k], object->scalars[k].values);
  }
  // The encoded name is what the file holds.
  std::string text = test::read_file(dir + "/out.ply");
  EXPECT_NE(text.find("comment object name 'with_edges.ply'\ncomment generated by Tavrin\n"),
            std::string::npos);
  std::unique_ptr<Object> attrs;
  {
    test::MessageCapture capture;
    attrs = load_ply(data_path("bunny_attrs.ply"));
  }
  ASSERT_EQ(write_ply(dir + "/attrs.ply", *attrs), 3674);
  EXPECT_NE(test::read_file(dir + "/attrs.ply").find("property float temp%20C\n"),
            std::string::npos);
}

TEST(IoPlyWrite, UnwritableScalarsAreLeftOutConsistently) {
  Object o;
  const float coords[] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  const int32_t tri[] = {0, 1, 2};
  const float a[] = {1, 2, 3}, b[] = {4, 5, 6}, c[] = {7, 8, 9};
  const std::string long_name(86, '/');  // encodes to 258 characters
  const float* values[] = {a, b, c, nullptr};
  const char* names[] = {"", long_name.c_str(), "kept", nullptr};
  o.build(3, 0, 1, 0, coords, nullptr, tri, nullptr, values, names);
  const std::string dir = test::temp_dir("ply_skip");
  test::MessageCapture capture;
  ASSERT_EQ(write_ply(dir + "/o.ply", o), 1);
  ASSERT_EQ(capture.messages().size(), 2u);
  EXPECT_NE(capture.messages()[0].find("it has no name"), std::string::npos);
  EXPECT_NE(capture.messages()[1].find("256 characters"), std::string::npos);
  PlyData back;
  ASSERT_TRUE(read_ply(dir + "/o.ply", back)) << back.error;
  EXPECT_EQ(back.scalar_names, std::vector<std::string>{"kept"});
  EXPECT_EQ(back.scalar_values[0], (std::vector<float>{7, 8, 9}));
  EXPECT_EQ(back.coordinates, std::vector<float>(coords, coords + 9));
}

// A field value that is not finite is "no value" from the load on: one line
// per field says how many, and the PLY output stores the lowest float; a
// name that GiD output must alter is kept exactly here.
TEST(IoPlyLoad, NonFiniteValuesAreNoValueAndNamesStayExact) {
  const std::string dir = test::temp_dir("ply_nonfinite");
  write_text(dir + "/f.ply",
             "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\n"
             "property float z\nproperty float q%22uote\nproperty float fine\n"
             "property float p%0Aq\nelement face 2\nproperty list uchar int vertex_indices\n"
             "end_header\n0 0 0 nan 1 inf\n1 0 0 inf 2 1\n0 1 0 -inf 3 2\n1 1 0 4 4 3\n"
             "3 0 1 2\n3 1 3 2\n");
  std::unique_ptr<Object> object;
  {
    test::MessageCapture capture;
    object = load_ply(dir + "/f.ply");
    ASSERT_TRUE(object);
    EXPECT_EQ(capture.text(),
              "Field 'q\"uote': 3 values that are not finite (NaN or infinite) are taken as no "
              "value.\n"
              "Field 'p\nq': 1 values that are not finite (NaN or infinite) are taken as no "
              "value.\n"
              "num nodes = 4, num triangles = 2, scalars = 3\n");
  }
  const float none = std::numeric_limits<float>::lowest();
  EXPECT_EQ(object->scalars[0].values, (std::vector<float>{none, none, none, 4}));
  EXPECT_EQ(object->scalars[1].values, (std::vector<float>{1, 2, 3, 4}));
  EXPECT_EQ(object->scalars[2].values, (std::vector<float>{none, 1, 2, 3}));

  // The writer also guards values set after the load.
  object->scalars[1].values[0] = std::numeric_limits<float>::quiet_NaN();
  ASSERT_EQ(write_ply(dir + "/out.ply", *object), 2);
  PlyData back;
  ASSERT_TRUE(read_ply(dir + "/out.ply", back)) << back.error;
  EXPECT_EQ(back.scalar_names, (std::vector<std::string>{"q\"uote", "fine", "p\nq", "Boundary"}));
  EXPECT_EQ(back.scalar_values[1], (std::vector<float>{none, 2, 3, 4}));
}

// A PLY write that fails leaves an earlier file of that name as it was and
// no temporary file beside it; one that succeeds replaces it.
TEST(IoPlyWrite, FailedWriteKeepsTheEarlierFile) {
  const std::string dir = test::temp_dir("ply_keep");
  write_text(dir + "/m.ply", "old");
  test::MessageCapture capture;
  {
    PlyWriter writer;
    ASSERT_TRUE(writer.create(dir + "/m.ply"));
    EXPECT_FALSE(writer.add_comment("two\nlines"));
    EXPECT_FALSE(writer.close());
  }
  EXPECT_EQ(test::read_file(dir + "/m.ply"), "old");
  std::filesystem::create_directory(dir + "/d.ply");
  const Vec3 nodes[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  const TriangleRecord tri = {0, 1, 2, 0};
  EXPECT_EQ(write_ply(dir + "/d.ply", "d", 3, nodes, 1, &tri, {}), 0);
  EXPECT_TRUE(std::filesystem::is_directory(dir + "/d.ply"));
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) entries += e.exists();
  EXPECT_EQ(entries, 2);
  EXPECT_EQ(write_ply(dir + "/m.ply", "m", 3, nodes, 1, &tri, {}), 1);
  EXPECT_EQ(test::read_file(dir + "/m.ply").rfind("ply\n", 0), 0u);
}

TEST(IoPlyWrite, FailuresReturnZero) {
  std::unique_ptr<Object> bunny;
  {
    test::MessageCapture capture;
    bunny = load_ply(data_path("bunny.ply"));
  }
  test::MessageCapture capture;
  EXPECT_EQ(write_ply(test::temp_dir("ply_fail") + "/no/such/dir/x.ply", *bunny), 0);
  EXPECT_NE(capture.text().find("Unable to create file"), std::string::npos);
  if (test::file_exists("/dev/full")) {
    EXPECT_EQ(write_ply("/dev/full", *bunny), 0);
  }
}

}  // namespace
}  // namespace Tavrin
