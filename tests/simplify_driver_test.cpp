// The simplification driver and the handler factory: messages, the choice
// of extra inputs, scalar averaging in groups, and the factory's edge cases.

#include <gtest/gtest.h>

#include <regex>

#include "hashuc/handler_factory.h"
#include "hashuc_test_util.h"
#include "simplify/driver.h"
#include "tables/random64.h"

namespace Tavrin {
namespace {

// The bunny with `fields` constant scalar fields: field i holds i + 0.5.
std::unique_ptr<Object> bunny(int fields, std::vector<std::string> names = {}) {
  std::unique_ptr<Object> o = load_ply(test::data_path("bunny.ply"));
  o->scalars.clear();
  for (int i = 0; i < fields; ++i) {
    Scalar s;
    s.name = i < static_cast<int>(names.size()) ? names[i] : "f" + std::to_string(i);
    s.values.assign(o->nodes.size(), i + 0.5f);
    o->scalars.push_back(std::move(s));
  }
  o->scalar_index = -1;
  return o;
}

TEST(SimplifyDriver, HashUCRunReportsEveryStep) {
  std::unique_ptr<Object> src = bunny(0);
  test::MessageCapture capture;
  std::unique_ptr<Object> r = simplify_object(src.get(), 64, HASH_UC);
  ASSERT_TRUE(r);
  EXPECT_GT(r->num_triangles(), 0);
  EXPECT_TRUE(r->scalars.empty());  // no artificial field
  const std::vector<std::string>& m = capture.messages();
  ASSERT_EQ(m.size(), 7u);
  EXPECT_EQ(m[0], "Simplification using 'Hash UC with qefs' ( HUC)");
  // Counts above 999 and times are grouped: "1.234" and "0,5".
  EXPECT_TRUE(std::regex_match(
      m[1],
      std::regex(
          R"(HUC\[ 64:1\] v: \d\.\d{3} t: \d\.\d{3} l: \d+ in [\d,]+ s\. \( [\d,e-]+ \+ 0\) Mem = [\d.,]+ KB)")))
      << m[1];
  EXPECT_TRUE(std::regex_match(
      m[2],
      std::regex(
          R"(\tSTATS   create: \S+   submit: \S+   optimal: \S+   simplify: \S+   normals: 0   total: \S+\n)")))
      << m[2];
  EXPECT_TRUE(std::regex_match(
      m[3], std::regex(R"(\tSTATS   clear: 0   interpolate: 0   delete: \S+   total: \S+\n)")))
      << m[3];
  EXPECT_TRUE(std::regex_match(
      m[4], std::regex(
                R"(HUC\[ 64\] v: \d\.\d{3} t: \d\.\d{3} l: \d+ in [\d,]+ s\. \( [\d,e-]+ \+ 0\))")))
      << m[4];
  EXPECT_TRUE(std::regex_match(
      m[5], std::regex(R"(Error: max [\d.e-]+, rms [\d.e-]+ of the diagonal\.\n)")))
      << m[5];
  EXPECT_EQ(m[6], "Simplification done.");
  EXPECT_EQ(capture.routes()[6], MessageRoute::Box);
}

TEST(SimplifyDriver, SevenFieldsAveragedInTwoGroupsAndSelectionKept) {
  std::unique_ptr<Object> src = bunny(7);
  src->scalar_index = 6;
  std::unique_ptr<Object> r = simplify_object(src.get(), 32, HASH_UC_TEMP);
  ASSERT_TRUE(r);
  ASSERT_EQ(r->scalars.size(), 7u);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(r->scalars[i].name, "f" + std::to_string(i));
    ASSERT_EQ(r->scalars[i].values.size(), r->nodes.size());
    for (float v : r->scalars[i].values) ASSERT_EQ(v, i + 0.5f) << "field " << i;
  }
  EXPECT_EQ(r->scalar_index, 6);
}

TEST(SimplifyDriver, FullMeshIsSimplifiedInsteadOfTheDrawingCopy) {
  std::unique_ptr<Object> direct = simplify_object(bunny(0).get(), 16, HASH_UC);
  Object copy;
  copy.full = bunny(0);
  std::unique_ptr<Object> via = simplify_object(&copy, 16, HASH_UC);
  ASSERT_TRUE(direct && via);
  EXPECT_EQ(via->num_nodes(), direct->num_nodes());
  EXPECT_EQ(via->num_triangles(), direct->num_triangles());
}

TEST(SimplifyDriver, NothingToDoOrNothingProduced) {
  {
    Object empty;
    test::MessageCapture capture;
    EXPECT_FALSE(simplify_object(&empty, 16, HASH_UC));
    EXPECT_TRUE(capture.messages().empty());
  }
  {
    SCOPED_TRACE("grid size 1: one node, no triangles, no object, no box");
    std::unique_ptr<Object> src = bunny(0);
    test::MessageCapture capture;
    EXPECT_FALSE(simplify_object(src.get(), 1, HASH_UC));
    for (MessageRoute route : capture.routes()) EXPECT_NE(route, MessageRoute::Box);
  }
  {
    SCOPED_TRACE("no handler: an empty run is reported");
    std::unique_ptr<Object> src = bunny(0);
    test::MessageCapture capture;
    EXPECT_FALSE(simplify_object(src.get(), 16, static_cast<simp_type>(11)));
    ASSERT_GE(capture.messages().size(), 2u);
    EXPECT_EQ(capture.messages()[0], "Simplification using 'N/A' ( N/A)");
    EXPECT_TRUE(std::regex_match(capture.messages()[1],
                                 std::regex(R"(N/A\[ 16:1\] v: 0 t: 0 l: 0 in .* Mem = 0 KB)")))
        << capture.messages()[1];
  }
}

// The log lines of the input choice of the scalar methods (before the run).
struct InputCase {
  const char* name;
  simp_type type;
  int fields;
  std::vector<std::string> names;
  int selected;
  std::vector<std::string> expected;  // log lines before the status line of the run
  int selected_after;
};

TEST(SimplifyDriver, ExtraInputChoiceMessages) {
  const InputCase cases[] = {
      {"scalar, none selected",
       HASH_UC_SCALAR,
       2,
       {"temp", "p"},
       -1,
       {"!!! No scalar used in the QEF to simplify Using first one\n",
        "Using scalar 'temp' in the QEF to simplify\n"},
       0},
      {"scalar, second selected",
       HASH_UC_SCALAR,
       2,
       {"temp", "p"},
       1,
       {"Using scalar 'p' in the QEF to simplify\n"},
       1},
      {"scalar, no fields",
       HASH_UC_SCALAR,
       0,
       {},
       -1,
       {"!!! No scalar used in the QEF to simplify !!!\n", "No scalar provided !!!\n"},
       -1},
      {"normals",
       HASH_UC_SCALAR3_NORMAL,
       0,
       {},
       -1,
       {"Using nodal normals in the extedned QEF to simplify.\n"},
       -1},
      {"vector found",
       HASH_UC_SCALAR3_VECTOR,
       4,
       {"q", "vx", "vy", "vz"},
       -1,
       {"Using ( vx, vy, vz) as vector in the extended QEF to simplify.\n"},
       -1},
      {"no vector",
       HASH_UC_SCALAR3_VECTOR,
       1,
       {"q"},
       -1,
       {"Could not find any three suitable scalars to be used as vectors:\n",
        "        candidates would have been: \n",
        "        ( vx, vy, vz) ( red, green, blue) ( r, g, b) ( nx, ny, nz) ( x, y, z)\n",
        "No scalar provided !!!\n"},
       -1},
      {"plain method ignores the fields", HASH_UC, 2, {"temp", "p"}, -1, {}, -1},
  };
  for (const InputCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<Object> src = bunny(c.fields, c.names);
    src->scalar_index = c.selected;
    test::MessageCapture capture;
    simplify_object(src.get(), 16, c.type);
    const std::vector<std::string>& m = capture.messages();
    ASSERT_GE(m.size(), 1 + c.expected.size());
    for (size_t i = 0; i < c.expected.size(); ++i) EXPECT_EQ(m[1 + i], c.expected[i]);
    EXPECT_EQ(m[1 + c.expected.size()].rfind(simp_type_short_name(c.type), 0), 0u)
        << m[1 + c.expected.size()];
    EXPECT_EQ(src->scalar_index, c.selected_after);
  }
}

// --- Factory --------------------------------------------------------------------

TEST(HandlerFactory, CreateEdgeCases) {
  const test::Mesh m = test::loadMesh("teapot.ply");
  EXPECT_FALSE(create_handler(16, HASH_UC, m.coords.data(), 0));
  EXPECT_FALSE(create_handler(16, HASH_UC, nullptr, 10));
  for (int t : {11, -1})
    EXPECT_FALSE(create_handler(16, static_cast<simp_type>(t), m.coords.data(), m.nodeCount()));
  for (simp_type t : {HASH_UC, HASH_UC_TEMP}) {
    std::unique_ptr<HandlerInterface> h = create_handler(16, t, m.coords.data(), m.nodeCount());
    ASSERT_TRUE(h);
    EXPECT_EQ(h->type(), t);
    EXPECT_EQ(h->gridSize(), 16);
  }
  // One draw of the handlers' generator is discarded by every call.
  handler_random().reset();
  handler_random().next();
  const uint64_t second = handler_random().next();
  handler_random().reset();
  create_handler(16, HASH_UC, nullptr, 0);
  EXPECT_EQ(handler_random().next(), second);
}

TEST(HandlerFactory, RunAndInterpolateWrappers) {
  const test::Mesh m = test::loadMesh("teapot.ply");
  SimplifiedMesh with_stride3, with_stride0;
  ExtraOutputs extra;
  for (SimplifiedMesh* out : {&with_stride3, &with_stride0}) {
    std::unique_ptr<HandlerInterface> h =
        create_handler(24, HASH_UC, m.coords.data(), m.nodeCount());
    const int32_t n =
        run_handler(h.get(), m.coords.data(), m.nodeCount(), m.tris.data(), m.triangleCount(),
                    out == &with_stride3 ? 3 : 0, QefInputs{}, *out, extra);
    EXPECT_EQ(n, out->nodeCount());
    EXPECT_EQ(extra.flag, 0);
    if (out == &with_stride0) {
      std::vector<std::vector<float>> fields(9, std::vector<float>(m.nodeCount(), 1.0f));
      std::vector<const float*> values;
      for (auto& f : fields) values.push_back(f.data());
      std::vector<int32_t> strides(9, 0);
      std::vector<std::vector<float>> got;
      reset_handler_cells(h.get());
      EXPECT_EQ(interpolate_handler_values(h.get(), m.coords.data(), m.nodeCount(), values.data(),
                                           strides.data(), 9, &got),
                n);
      EXPECT_EQ(got.size(), 6u);
      EXPECT_EQ(interpolate_handler_values(h.get(), nullptr, m.nodeCount(), values.data(),
                                           strides.data(), 9, &got),
                0);
      EXPECT_EQ(interpolate_handler_values(h.get(), m.coords.data(), m.nodeCount(), nullptr,
                                           strides.data(), 9, &got),
                0);
    }
    delete_handler(h);
    EXPECT_FALSE(h);
  }
  EXPECT_EQ(with_stride3.nodes, with_stride0.nodes);
  EXPECT_EQ(with_stride3.triangles, with_stride0.triangles);
}

}  // namespace
}  // namespace Tavrin
