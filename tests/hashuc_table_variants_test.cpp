// HashUCSingle and HashUCCoherent: the same simplified mesh as HashUC on real
// meshes for any thread count, the retry at space factor 1.15, the final
// failure, the build messages, the memory report and the batch program.

#include <gtest/gtest.h>
#include <omp.h>

#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "hashuc/handler_factory.h"
#include "hashuc/hash_uc_table_variants.h"
#include "hashuc_test_util.h"
#include "tables/prime_table.h"

namespace Tavrin {
namespace {

using test::Mesh;

// The load factor the handlers of the current scope are made with.
float scope_factor = 0.0f;

// Sets the load factor and the thread count for one scope.
class Settings {
 public:
  Settings(float factor, int threads) : factor_(scope_factor), threads_(omp_get_max_threads()) {
    scope_factor = factor;
    omp_set_num_threads(threads);
  }
  ~Settings() {
    scope_factor = factor_;
    omp_set_num_threads(threads_);
  }

 private:
  float factor_;
  int threads_;
};

// A handler made as the factory makes it, with the scope's load factor
// where the handler takes one.
template <class Handler>
std::unique_ptr<Handler> makeHandler() {
  if constexpr (std::is_constructible_v<Handler, float>)
    return std::make_unique<Handler>(scope_factor);
  else
    return std::make_unique<Handler>();
}

// Everything a run produces that must not depend on the table.
struct Result {
  std::vector<uint64_t> keys;
  int32_t solved = 0;
  SimplifiedMesh mesh;
  std::vector<std::vector<float>> averaged, exported;
  bool built = false;
  uint32_t stashed = 0;  // single-level table: keys in the stash
};

template <class Handler>
Result run(const Mesh& m, int32_t grid) {
  Result r;
  std::unique_ptr<Handler> made = makeHandler<Handler>();
  Handler& h = *made;
  h.initialise(grid, m.coords.data(), m.nodeCount(), 3);
  r.built = h.table() != nullptr;
  r.keys = h.space().cellKeys;
  if constexpr (std::is_same_v<Handler, HashUCSingle>)
    if (r.built) r.stashed = h.table()->stashCount();
  h.submit(m.coords.data(), 3, m.tris.data(), m.triangleCount(), 3);
  r.solved = h.solve();
  h.output(m.coords.data(), 3, m.tris.data(), m.triangleCount(), 3, r.mesh);
  int32_t length = 0;
  h.exportCells(r.exported, length);
  // Value averaging after a reset: the x coordinate and a marked node.
  std::vector<float> x(m.nodeCount()), mark(m.nodeCount(), 1.0f);
  for (int32_t i = 0; i < m.nodeCount(); ++i) x[i] = m.coords[3 * i];
  mark[0] = -3.4028235e38f;
  const float* values[2] = {x.data(), mark.data()};
  const int32_t strides[2] = {1, 1};
  h.resetCells();
  h.interpolateValues(m.coords.data(), m.nodeCount(), 3, values, strides, 2, r.averaged, length);
  return r;
}

void expectSame(const Result& a, const Result& b) {
  ASSERT_TRUE(a.built && b.built);
  EXPECT_EQ(a.keys, b.keys);
  EXPECT_EQ(a.solved, b.solved);
  ASSERT_EQ(a.mesh.nodes.size(), b.mesh.nodes.size());
  EXPECT_EQ(0, std::memcmp(a.mesh.nodes.data(), b.mesh.nodes.data(), a.mesh.nodes.size() * 4));
  EXPECT_EQ(a.mesh.triangles, b.mesh.triangles);
  EXPECT_EQ(a.mesh.lines, b.mesh.lines);
  EXPECT_EQ(a.exported, b.exported);
  EXPECT_EQ(a.averaged, b.averaged);
}

TEST(HashUCTableVariants, SameResultAsHashUC) {
  for (const char* name : {"bunny.ply", "teapot.ply", "dragon_small.ply"}) {
    const Mesh m = test::loadMesh(name);
    ASSERT_GT(m.triangleCount(), 0) << name;
    for (int32_t grid : {16, 64, 256})
      for (int threads : {1, 2}) {
        SCOPED_TRACE(std::string(name) + " grid " + std::to_string(grid) + " threads " +
                     std::to_string(threads));
        Settings settings(0.0f, threads);
        test::MessageCapture quiet;
        const Result reference = run<HashUC>(m, grid);
        EXPECT_GT(reference.mesh.triangleCount(), 0);
        expectSame(reference, run<HashUCSingle>(m, grid));
        expectSame(reference, run<HashUCCoherent>(m, grid));
      }
  }
}

// Tight factors push keys into the stash; the stash slots must take part in
// every pass like the main ones.
TEST(HashUCTableVariants, StashedCellsTakePartInEveryPass) {
  const Mesh m = test::loadMesh("bunny.ply");
  int runs_with_stash = 0;
  for (float factor : {1.02f, 1.03f, 1.04f, 1.05f})
    for (int32_t grid : {64, 256}) {
      SCOPED_TRACE("factor " + std::to_string(factor) + " grid " + std::to_string(grid));
      Settings settings(factor, 2);
      test::MessageCapture quiet;
      const Result single = run<HashUCSingle>(m, grid);
      if (single.stashed > 0) ++runs_with_stash;
      expectSame(run<HashUC>(m, grid), single);
    }
  EXPECT_GT(runs_with_stash, 0);
}

// The number of slots a build at this factor gives for n keys.
uint64_t expectedSlots(const SingleCuckooTable<QefRecord>&, uint32_t n, float f) {
  return tableSizeFor(n, f) + 101;  // and the stash
}
uint64_t expectedSlots(const CoherentHashTable<QefRecord>&, uint32_t n, float f) {
  return tableSizeFor(n, f);
}

enum class Retry { Never, Always, Maybe };

// Builds at load_factor and checks the size, the messages and the memory.
// A tight factor may or may not lose a key, depending on the drawn functions.
template <class Handler>
void checkBuild(const Mesh& m, float factor, const std::string& name, Retry retry, float built_at,
                int bytes_per_slot, int fixed_bytes) {
  SCOPED_TRACE(name + " at load factor " + std::to_string(factor));
  Settings settings(factor, 2);
  test::MessageCapture capture;
  std::unique_ptr<Handler> made = makeHandler<Handler>();
  Handler& h = *made;
  h.initialise(64, m.coords.data(), m.nodeCount(), 3);
  ASSERT_TRUE(h.table());
  const auto& table = *h.table();
  const uint32_t n = static_cast<uint32_t>(h.space().cellKeys.size());

  const bool retried = capture.messages().size() == 2;
  if (retry != Retry::Maybe) {
    EXPECT_EQ(retried, retry == Retry::Always) << capture.text();
  }
  if (retried) built_at = 1.15f;
  EXPECT_EQ(table.slotCount(), expectedSlots(table, n, built_at));
  std::vector<std::string> expected;
  if (retried)
    expected.push_back("FAILED CREATING " + name + ", INCREASING SPACE FACTOR TO 1.15\n");
  ASSERT_EQ(capture.messages().size(), expected.size() + 1) << capture.text();
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(capture.messages()[i], expected[i]);
  const std::string stats = capture.messages().back();
  if constexpr (std::is_same_v<Handler, HashUCSingle>) {
    const int max = static_cast<int>(7.0 * std::log(static_cast<double>(n)) + 0.5);
    EXPECT_EQ(table.functionCount(), built_at < 1.1f ? 6 : built_at < 1.15f ? 5 : 4);
    EXPECT_EQ(stats, format("\tSTATS   functions = %d Elements in stash = %d   evictions ( min, "
                            "max, med) = ( %d, %d, %g)   MAX EVICTIONS = %d\n",
                            table.functionCount(), static_cast<int>(table.stashCount()),
                            table.minEvictions(), table.maxEvictions(),
                            static_cast<double>(table.meanEvictions()), max));
  } else {
    EXPECT_TRUE(std::regex_match(stats, std::regex("\tSTATS   Max age = [0-9]+, Average age = "
                                                   "[0-9.e+-]+\n")))
        << stats;
    EXPECT_GE(table.maxAge(), 1);
  }

  const uint64_t slots = table.slotCount();
  EXPECT_EQ(h.memoryBytes(),
            bytes_per_slot * slots + 8 * ((slots + 15) / 16) + fixed_bytes + 8 * uint64_t{n});
  h.releaseCells();
  EXPECT_EQ(h.memoryBytes(), 160u);
}

TEST(HashUCTableVariants, SpaceFactorRetryStatisticsAndMemory) {
  const Mesh m = test::loadMesh("bunny.ply");
  struct Case {
    float load_factor;
    Retry retry;
    float built_at;
  } cases[] = {
      {0.0f, Retry::Never, 1.1f},    // none given: the default
      {1.3f, Retry::Never, 1.3f},    // as given
      {1.05f, Retry::Maybe, 1.05f},  // six cuckoo functions
      {0.3f, Retry::Always, 1.15f},  // far too small: the retry at 1.15 succeeds
  };
  for (const Case& c : cases) {
    checkBuild<HashUCSingle>(m, c.load_factor, "SINGLE LEVEL CUCKOO", c.retry, c.built_at, 64, 320);
    checkBuild<HashUCCoherent>(m, c.load_factor, "COHERENT PARALLEL HASH", c.retry, c.built_at, 65,
                               464);
  }
  // After the retry the mesh is still HashUC's.
  Settings settings(0.3f, 2);
  test::MessageCapture quiet;
  const Result reference = run<HashUC>(m, 64);
  expectSame(reference, run<HashUCSingle>(m, 64));
  expectSame(reference, run<HashUCCoherent>(m, 64));
}

// A single-level table whose every build fails, recording its factors.
struct FailingSingle : SingleCuckooTable<QefRecord> {
  static inline std::vector<float> factors;
  uint32_t build(const uint64_t*, uint32_t, float factor, Random64&) {
    factors.push_back(factor);
    return 0;
  }
};
using FailingSingleHandler = HashUCSpaceFactorTable<FailingSingle, SingleCuckooTraits>;

// Without a table the handler produces nothing and reports 160 bytes plus keys.
template <class Handler>
void expectNoTable(Handler& h, const Mesh& m) {
  EXPECT_EQ(h.table(), nullptr);
  EXPECT_EQ(h.memoryBytes(), 160 + 8 * h.space().cellKeys.size());
  h.submit(m.coords.data(), 3, m.tris.data(), m.triangleCount(), 3);
  EXPECT_EQ(h.solve(), 0);
  SimplifiedMesh out;
  h.output(m.coords.data(), 3, m.tris.data(), m.triangleCount(), 3, out);
  EXPECT_EQ(out.nodeCount(), 0);
  std::vector<std::vector<float>> exported;
  int32_t length = -1;
  EXPECT_EQ(h.exportCells(exported, length), 0);
  EXPECT_EQ(length, -1);
}

TEST(HashUCTableVariants, BothBuildsFailingLeaveNoTable) {
  const Mesh teapot = test::loadMesh("teapot.ply");
  for (float factor : {0.0f, 1.2f}) {
    Settings settings(factor, 2);
    test::MessageCapture capture;
    FailingSingle::factors.clear();
    FailingSingleHandler h(factor);
    h.initialise(32, teapot.coords.data(), teapot.nodeCount(), 3);
    const std::vector<float> factors{factor == 0.0f ? 1.1f : factor, 1.15f};
    EXPECT_EQ(FailingSingle::factors, factors);
    EXPECT_EQ(capture.messages(),
              (std::vector<std::string>{
                  "FAILED CREATING SINGLE LEVEL CUCKOO, INCREASING SPACE FACTOR TO 1.15\n",
                  "ERROR: FAILED TO CREATE SINGLE LEVEL CUCKOO\n"}));
    expectNoTable(h, teapot);
  }

  // Cell keys beyond 56 bits do not fit the coherent table's key words: a
  // grid of 500,000 cells per axis puts the far corner at key ~1.25e17. No
  // build is tried, and the one failure line says why.
  Mesh corners;
  corners.addNode(0, 0, 0);
  corners.addNode(1, 1, 1);
  corners.addNode(1, 0, 0);
  corners.tris = {0, 1, 2};
  Settings settings(0.0f, 2);
  test::MessageCapture capture;
  HashUCCoherent h(0.0f);
  h.initialise(500000, corners.coords.data(), corners.nodeCount(), 3);
  EXPECT_EQ(capture.messages(),
            (std::vector<std::string>{
                "ERROR: FAILED TO CREATE COHERENT PARALLEL HASH: its cell keys must stay below "
                "2^56, which grids of about 416,000 cells per axis and more can exceed; use a "
                "smaller grid or another type\n"}));
  expectNoTable(h, corners);
  // The single-level table takes the same keys.
  HashUCSingle single(0.0f);
  single.initialise(500000, corners.coords.data(), corners.nodeCount(), 3);
  EXPECT_NE(single.table(), nullptr);
}

TEST(HashUCTableVariants, TypesThroughTheFactory) {
  const Mesh m = test::loadMesh("teapot.ply");
  test::MessageCapture quiet;
  for (simp_type t : {HASH_UC_SINGLE, HASH_UC_COHERENT}) {
    std::unique_ptr<HandlerInterface> h =
        create_handler(32, t, m.coords.data(), static_cast<uint32_t>(m.nodeCount()));
    ASSERT_TRUE(h);
    EXPECT_EQ(h->type(), t);
  }
}

TEST(HashUCTableVariants, BatchProgramWritesTheSameFilesAsHashUC) {
  namespace fs = std::filesystem;
  const std::string dir = test::temp_dir("table_variants");
  const std::string input = dir + "/bunny.ply";
  fs::copy_file(test::data_path("bunny.ply"), input);
  // Both files of a run, the mesh's own name (which holds the type) taken out.
  auto files = [&](const std::string& type) {
    const std::string name = "bunny_simp_" + type + "_0128";
    std::string text = test::read_file(dir + "/" + name + ".msh") + "\n--res--\n" +
                       test::read_file(dir + "/" + name + ".res");
    for (size_t at; (at = text.find(name)) != std::string::npos;)
      text.replace(at, name.size(), "NAME");
    return text;
  };
  const test::RunResult ref =
      test::run_command(test::binary_path("tavrin") + " " + input + " HASH_UC 128");
  ASSERT_EQ(ref.status, 0) << ref.output;
  const struct {
    const char* type;
    const char* args;
    const char* stats;
  } cases[] = {
      {"HASH_UC_SINGLE", " 1.1",
       "\tSTATS   functions = 5 Elements in stash = [0-9]+   evictions \\( min, max, med\\) = "
       "\\( [0-9]+, [0-9]+, [0-9.e+-]+\\)   MAX EVICTIONS = [0-9]+\n"},
      {"HASH_UC_COHERENT", "", "\tSTATS   Max age = [0-9]+, Average age = [0-9.e+-]+\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    const test::RunResult r = test::run_command(test::binary_path("tavrin") + " " + input + " " +
                                                c.type + " 128" + c.args);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(std::regex_search(r.output, std::regex(c.stats))) << r.output;
    EXPECT_EQ(r.output.find("FAILED"), std::string::npos) << r.output;
    ASSERT_TRUE(test::file_exists(dir + "/bunny_simp_" + std::string(c.type) + "_0128.res"));
    EXPECT_TRUE(files(c.type) == files("HASH_UC")) << "output files differ from HASH_UC's";
  }
}

}  // namespace
}  // namespace Tavrin
