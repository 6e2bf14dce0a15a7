// The scalar methods through the driver and the built program: which fields
// go into the quadrics, which come back optimised, and the messages.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "hashuc_test_util.h"
#include "simplify/driver.h"

namespace Tavrin {
namespace {

namespace fs = std::filesystem;

// Three different linear functions of position.
float linear(const Vec3& p, int which) {
  switch (which) {
    case 1:
      return -4.0f + 0.5f * p.x + p.y + 2.0f * p.z;
    case 2:
      return 10.0f - p.x + 0.25f * p.y - 3.0f * p.z;
    default:
      return 1.0f + 2.0f * p.x - 3.0f * p.y + 0.5f * p.z;
  }
}

// A curved closed mesh whose six fields nx ny nz red green blue are linear
// functions of position (nx and red the same function, and so on).
std::unique_ptr<Object> fieldedTorus(const std::vector<std::string>& names) {
  const test::Mesh m = test::bumpyTorus(120, 60);
  std::vector<std::vector<float>> values(names.size(), std::vector<float>(m.nodeCount()));
  for (size_t f = 0; f < names.size(); ++f)
    for (int32_t i = 0; i < m.nodeCount(); ++i)
      values[f][i] = linear(Vec3(m.coords[3 * i], m.coords[3 * i + 1], m.coords[3 * i + 2]),
                            static_cast<int>(f % 3));
  std::vector<const float*> lists;
  std::vector<const char*> list_names;
  for (size_t f = 0; f < names.size(); ++f) {
    lists.push_back(values[f].data());
    list_names.push_back(names[f].c_str());
  }
  lists.push_back(nullptr);
  list_names.push_back(nullptr);
  auto o = std::make_unique<Object>();
  o->build(m.nodeCount(), 0, m.triangleCount(), 0, m.coords.data(), nullptr, m.tris.data(), nullptr,
           lists.data(), list_names.data());
  o->scalar_index = -1;
  return o;
}

// Largest |field - its function| over the result's nodes.
float largestMiss(const Object& r, int field) {
  float worst = 0.0f;
  for (int32_t i = 0; i < r.num_nodes(); ++i)
    worst = std::max(worst, std::fabs(r.scalars[field].values[i] - linear(r.nodes[i], field % 3)));
  return worst;
}

size_t countOf(const std::vector<std::string>& messages, const std::string& text) {
  return static_cast<size_t>(std::count(messages.begin(), messages.end(), text));
}

TEST(SimplifyScalar, OptimisedFieldsReplaceTheirAverages) {
  const std::vector<std::string> six = {"nx", "ny", "nz", "red", "green", "blue"};
  struct Case {
    const char* name;
    simp_type type;
    std::vector<std::string> fields;
    int selected;
    std::vector<int> optimised;  // the others keep their averages
    const char* choice;          // a log line of the input choice
    bool no_scalar;              // "No scalar provided !!!" expected
  };
  const Case cases[] = {
      {"vector: red green blue before nx ny nz",
       HASH_UC_SCALAR3_VECTOR,
       six,
       -1,
       {3, 4, 5},
       "Using ( red, green, blue) as vector in the extended QEF to simplify.\n",
       false},
      {"scalar: the selected one",
       HASH_UC_SCALAR,
       six,
       4,
       {4},
       "Using scalar 'green' in the QEF to simplify\n",
       false},
      {"normals: nothing written back",
       HASH_UC_SCALAR3_NORMAL,
       six,
       1,
       {},
       "Using nodal normals in the extedned QEF to simplify.\n",
       false},
      {"vector without a triple",
       HASH_UC_SCALAR3_VECTOR,
       {"q", "w"},
       -1,
       {},
       "Could not find any three suitable scalars to be used as vectors:\n",
       true},
      {"scalar without fields",
       HASH_UC_SCALAR,
       {},
       -1,
       {},
       "!!! No scalar used in the QEF to simplify !!!\n",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<Object> src = fieldedTorus(c.fields);
    src->scalar_index = c.selected;
    test::MessageCapture capture;
    std::unique_ptr<Object> r = simplify_object(src.get(), 16, c.type);
    ASSERT_TRUE(r);
    const std::vector<std::string>& m = capture.messages();
    EXPECT_EQ(countOf(m, c.choice), 1u);
    EXPECT_EQ(countOf(m, "No scalar provided !!!\n"), c.no_scalar ? 1u : 0u);
    ASSERT_EQ(r->scalars.size(), c.fields.size());
    for (int f = 0; f < static_cast<int>(c.fields.size()); ++f) {
      SCOPED_TRACE(c.fields[f]);
      ASSERT_EQ(r->scalars[f].values.size(), static_cast<size_t>(r->num_nodes()));
      const bool optimised =
          std::find(c.optimised.begin(), c.optimised.end(), f) != c.optimised.end();
      if (optimised)
        EXPECT_LT(largestMiss(*r, f), 5e-3f);
      else
        EXPECT_GT(largestMiss(*r, f), 1e-2f);
    }
  }
}

// --- The built program ------------------------------------------------------------

// Result name -> values of a GiD results file.
std::map<std::string, std::vector<double>> readResults(const std::string& text) {
  std::map<std::string, std::vector<double>> out;
  std::istringstream in(text);
  std::string line, current;
  bool values = false;
  const std::regex result("Result \"([^\"]*)\".*");
  std::smatch match;
  while (std::getline(in, line)) {
    if (std::regex_match(line, match, result)) {
      current = match[1];
      out[current];
    } else if (line == "Values") {
      values = true;
    } else if (line == "end values") {
      values = false;
    } else if (values) {
      std::istringstream v(line);
      long index;
      double value;
      v >> index >> value;
      out[current].push_back(value);
    }
  }
  return out;
}

TEST(SimplifyScalarBatch, BunnyWithAttributes) {
  const std::string dir = test::temp_dir("scalar_batch");
  const std::string input = dir + "/model.ply";
  fs::copy_file(test::data_path("bunny_attrs.ply"), input);
  const test::RunResult r =
      test::run_command(test::binary_path("tavrin") + " " + input + " HASH_UC_SCALAR 32");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string num = "[0-9.,]+";
  for (const std::string& expected :
       {std::string("Simplification using 'Hash UC with qefs\\+scalar' \\( HUCS\\)"),
        std::string("!!! No scalar used in the QEF to simplify Using first one"),
        std::string("Using scalar 'nx' in the QEF to simplify"),
        "HUCS\\[ 32:1\\] v: " + num + " t: " + num + " l: " + num + " in " + num + " s\\. \\( " +
            num + " \\+ " + num + "\\) Mem = " + num + " KB",
        "HUCS\\[ 32\\] v: " + num + " t: " + num + " l: " + num + " in .*",
        std::string("Files '.*model_simp_HASH_UC_SCALAR_0032\\.msh' and "
                    "'.*model_simp_HASH_UC_SCALAR_0032\\.res' saved\\.")})
    EXPECT_TRUE(std::regex_search(r.output, std::regex("(^|\n)" + expected + "\n"))) << expected;
  EXPECT_EQ(r.output.find("No scalar provided"), std::string::npos);

  // The same cells under HASH_UC give the plain averages of every field.
  const test::RunResult plain =
      test::run_command(test::binary_path("tavrin") + " " + input + " HASH_UC 32");
  ASSERT_EQ(plain.status, 0) << plain.output;
  const auto scalar = readResults(test::read_file(dir + "/model_simp_HASH_UC_SCALAR_0032.res"));
  const auto average = readResults(test::read_file(dir + "/model_simp_HASH_UC_0032.res"));

  // Every field of the source, no artificial one; the bunny is closed, so
  // there is no boundary field either.
  std::vector<std::string> names;
  for (const auto& [name, values] : scalar) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"blue", "green", "nx", "ny", "nz", "red", "temp C"}));
  ASSERT_EQ(average.size(), scalar.size());
  for (const auto& [name, values] : scalar) {
    SCOPED_TRACE(name);
    const std::vector<double>& avg = average.at(name);
    ASSERT_FALSE(values.empty());
    ASSERT_EQ(values.size(), avg.size());
    size_t differ = 0;
    for (size_t i = 0; i < values.size(); ++i) differ += std::fabs(values[i] - avg[i]) > 1e-6;
    if (name == "nx")
      EXPECT_GT(differ, values.size() / 10);  // optimised
    else
      EXPECT_EQ(differ, 0u);  // averaged
  }
}

}  // namespace
}  // namespace Tavrin
