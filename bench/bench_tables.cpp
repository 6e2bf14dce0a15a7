// Compares the three cell tables (two-level cuckoo, single-level cuckoo,
// coherent parallel hash) with std::unordered_map on the occupied cells of the
// big benchmark mesh at grids 256 and 1024 (keys as the clustering handlers
// compute them) and on random keys below 2^56: build time, lookup time of
// every key (hits) and of as many absent keys, and memory per key, at several
// load factors. Slots carry a 56-byte record, as the quadric handlers use.
// The tables look the keys up through find_all, which orders a big batch by
// table position; the map through find in a parallel loop over the keys.
//
// Usage: bench_tables [random_key_count] [mesh.ply] [refinements]
#include <omp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/messages.h"
#include "bench/big_mesh.h"
#include "hashuc/grid.h"
#include "tables/coherent_hash.h"
#include "tables/random_streams.h"
#include "tables/single_cuckoo.h"
#include "tables/two_level_cuckoo.h"

namespace Tavrin {
namespace {

struct Qef56 {
  float f[14];
};

struct KeySet {
  std::string name;
  std::vector<uint64_t> keys;
  std::vector<uint64_t> absent;
  std::vector<uint64_t> lookups;  // the keys in the order they are looked up
};

KeySet randomSet(uint32_t n) {
  KeySet s{"random " + std::to_string(n), std::vector<uint64_t>(n), std::vector<uint64_t>(n), {}};
  std::mt19937_64 gen(12345);
  // Keys below 2^56; odd values as keys and even ones as absent keys keep them apart.
  for (uint32_t i = 0; i < n; ++i) s.keys[i] = (gen() >> 8) | 1;
  for (uint32_t i = 0; i < n; ++i) s.absent[i] = (gen() >> 8) & ~uint64_t{1};
  std::vector<uint64_t> sorted = s.keys;
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  if (sorted.size() != s.keys.size()) {  // astronomically unlikely; keep keys distinct
    std::shuffle(sorted.begin(), sorted.end(), gen);
    s.keys = sorted;
  }
  // Looked up in another random order, so that no table profits from keys
  // being looked up in the order they were stored.
  s.lookups = s.keys;
  std::shuffle(s.lookups.begin(), s.lookups.end(), gen);
  return s;
}

// The occupied cells of the mesh's nodes on an n^3 grid, keyed as the
// clustering handlers key them, sorted. Hits are looked up in the order the
// nodes first visit their cells; absent keys are the same cells moved past
// the grid.
KeySet meshSet(const Object& o, int32_t n) {
  KeySet s{"mesh cells, grid " + std::to_string(n), {}, {}, {}};
  const float* coords = reinterpret_cast<const float*>(o.nodes.data());
  const int64_t nodes = o.num_nodes();
  ClusterSpace space;
  space.setUpGrid(n, coords, nodes, 3, 0);
  std::vector<uint64_t> node_keys(static_cast<size_t>(nodes));
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < nodes; ++i)
    node_keys[i] = space.grid.key(space.normalisation.normalise(coords + 3 * i));
  s.keys = node_keys;
  std::sort(s.keys.begin(), s.keys.end());
  s.keys.erase(std::unique(s.keys.begin(), s.keys.end()), s.keys.end());
  std::vector<uint8_t> seen(s.keys.size(), 0);
  for (uint64_t k : node_keys) {
    const size_t at =
        static_cast<size_t>(std::lower_bound(s.keys.begin(), s.keys.end(), k) - s.keys.begin());
    if (!seen[at]) {
      seen[at] = 1;
      s.lookups.push_back(k);
    }
  }
  const uint64_t cells = static_cast<uint64_t>(n) * n * n;
  for (uint64_t k : s.lookups) s.absent.push_back(k + cells);
  return s;
}

struct Row {
  std::string table;
  std::string factor;
  bool ok = false;
  int runs = 1, failures = 0;
  double build = 0, hits = 0, misses = 0, bytes_per_key = 0;
};

// Counts the bytes the unordered_map asks for.
inline size_t g_allocated = 0;
template <class T>
struct CountingAllocator {
  using value_type = T;
  CountingAllocator() = default;
  template <class U>
  CountingAllocator(const CountingAllocator<U>&) {}
  T* allocate(size_t n) {
    g_allocated += n * sizeof(T);
    return std::allocator<T>().allocate(n);
  }
  void deallocate(T* p, size_t n) {
    g_allocated -= n * sizeof(T);
    std::allocator<T>().deallocate(p, n);
  }
  template <class U>
  bool operator==(const CountingAllocator<U>&) const {
    return true;
  }
};

// Times lookup(keys, n, out), which answers every key (slot index or -1 per
// key) with all threads, and checks the number of keys found.
template <class LookupAll>
double timeLookups(const std::vector<uint64_t>& keys, LookupAll lookup, int64_t expected_hits) {
  std::vector<int64_t> out(keys.size(), -1);
  const double t0 = omp_get_wtime();
  lookup(keys.data(), keys.size(), out.data());
  const double t = omp_get_wtime() - t0;
  int64_t hits = 0;
  for (int64_t r : out) hits += r >= 0;
  if (hits != expected_hits)
    std::printf("  !! lookups found %lld keys, expected %lld\n", static_cast<long long>(hits),
                static_cast<long long>(expected_hits));
  return t;
}

// Small key sets take milliseconds, where one run says little on a shared
// machine: every table and the map are built and looked up several times,
// each time afresh, and the medians are reported.
int repetitionsFor(size_t keys) { return keys < 1000000 ? 9 : keys < 5000000 ? 3 : 1; }

double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Runs one repetition (build, then lookups) `reps` times and keeps the
// medians; a repetition whose build fails counts in row.failures.
template <class Once>
Row repeat(Row row, int reps, Once once) {
  std::vector<double> build, hits, misses;
  for (int r = 0; r < reps; ++r) {
    Row one = row;
    once(one);
    if (!one.ok) {
      ++row.failures;
      continue;
    }
    build.push_back(one.build);
    hits.push_back(one.hits);
    misses.push_back(one.misses);
    row.bytes_per_key = one.bytes_per_key;
  }
  row.ok = !build.empty();
  row.runs = reps;
  row.build = median(build);
  row.hits = median(hits);
  row.misses = median(misses);
  return row;
}

template <class Table, class Build>
Row runTable(const char* name, std::string factor, const KeySet& s, Build build,
             double extra_bytes_per_slot) {
  return repeat(Row{name, factor}, repetitionsFor(s.keys.size()), [&](Row& row) {
    Table table;
    const double t0 = omp_get_wtime();
    row.ok = build(table) == s.keys.size();
    row.build = omp_get_wtime() - t0;
    if (!row.ok) return;
    const int64_t n = static_cast<int64_t>(s.keys.size());
    auto find = [&](const uint64_t* k, size_t count, int64_t* out) {
      table.find_all(k, count, out);
    };
    row.hits = timeLookups(s.lookups, find, n);
    row.misses = timeLookups(s.absent, find, 0);
    const double slot_bytes = sizeof(typename Table::Slot) + extra_bytes_per_slot;
    row.bytes_per_key =
        static_cast<double>(table.slotCount()) * slot_bytes / static_cast<double>(n);
  });
}

Row runUnorderedMap(const KeySet& s) {
  using Map = std::unordered_map<uint64_t, Qef56, std::hash<uint64_t>, std::equal_to<uint64_t>,
                                 CountingAllocator<std::pair<const uint64_t, Qef56>>>;
  return repeat(
      Row{"std::unordered_map", "1.0 (max)"}, repetitionsFor(s.keys.size()), [&](Row& row) {
        const size_t before = g_allocated;
        Map map;
        const double t0 = omp_get_wtime();
        map.reserve(s.keys.size());
        for (uint64_t k : s.keys) map.emplace(k, Qef56{});
        row.build = omp_get_wtime() - t0;
        row.ok = map.size() == s.keys.size();
        const int64_t n = static_cast<int64_t>(s.keys.size());
        auto find = [&](const uint64_t* k, size_t count, int64_t* out) {
#pragma omp parallel for schedule(static)
          for (int64_t i = 0; i < static_cast<int64_t>(count); ++i)
            out[i] = map.find(k[i]) != map.end() ? 0 : -1;
        };
        row.hits = timeLookups(s.lookups, find, n);
        row.misses = timeLookups(s.absent, find, 0);
        row.bytes_per_key = static_cast<double>(g_allocated - before) / static_cast<double>(n);
      });
}

void printRows(const KeySet& s, const std::vector<Row>& rows) {
  const Row& base = rows.back();
  const double n = static_cast<double>(s.keys.size());
  std::printf("\n%s: %zu keys, %d threads, median of %d runs\n", s.name.c_str(), s.keys.size(),
              omp_get_max_threads(), base.runs);
  std::printf(
      "| table | factor | build s | hit lookups s | ns/hit | miss lookups s | ns/miss | bytes/key "
      "| build vs map | hits vs map | misses vs map |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (const Row& r : rows) {
    if (!r.ok) {
      std::printf("| %s | %s | every build failed (returned 0) | | | | | | | | |\n",
                  r.table.c_str(), r.factor.c_str());
      continue;
    }
    const std::string failed = r.failures ? " (" + std::to_string(r.failures) + " of " +
                                                std::to_string(r.runs) + " builds failed)"
                                          : "";
    std::printf("| %s | %s%s | %.4f | %.4f | %.1f | %.4f | %.1f | %.1f | %.2fx | %.2fx | %.2fx |\n",
                r.table.c_str(), r.factor.c_str(), failed.c_str(), r.build, r.hits,
                1e9 * r.hits / n, r.misses, 1e9 * r.misses / n, r.bytes_per_key,
                base.build / r.build, base.hits / r.hits, base.misses / r.misses);
  }
  std::printf("summary %s, factor 1.10, 3x the map (build/hits/misses):", s.name.c_str());
  for (const Row& r : rows) {
    if (r.factor != "1.10" && r.table != "two-level cuckoo") continue;
    auto mark = [](double ratio) { return ratio >= 3.0 ? "yes" : "NO"; };
    if (!r.ok)
      std::printf("  %s: build failed;", r.table.c_str());
    else
      std::printf("  %s: %s/%s/%s;", r.table.c_str(), mark(base.build / r.build),
                  mark(base.hits / r.hits), mark(base.misses / r.misses));
  }
  std::printf("\n");
  std::fflush(stdout);
}

void runSet(const KeySet& s) {
  const uint32_t n = static_cast<uint32_t>(s.keys.size());
  const uint64_t* keys = s.keys.data();
  std::vector<Row> rows;
  // One-byte lock per bucket plus a 2-byte count and 4-byte seed per bucket.
  rows.push_back(runTable<TwoLevelCuckooTable<Qef56>>(
      "two-level cuckoo", "(409/573)", s,
      [&](auto& t) { return t.build(keys, n, handler_random()); }, 7.0 / 573));
  for (float factor : {1.05f, 1.1f, 1.25f, 1.4f}) {
    char f[16];
    std::snprintf(f, sizeof f, "%.2f", factor);
    rows.push_back(runTable<SingleCuckooTable<Qef56>>(
        "single cuckoo", f, s, [&](auto& t) { return t.build(keys, n, factor, handler_random()); },
        1.0 / 16));
    rows.push_back(runTable<CoherentHashTable<Qef56>>(
        "coherent", f, s, [&](auto& t) { return t.build(keys, n, factor, handler_random()); },
        1.0 + 1.0 / 16));
  }
  rows.push_back(runUnorderedMap(s));
  printRows(s, rows);
}

}  // namespace
}  // namespace Tavrin

int main(int argc, char** argv) {
  using namespace Tavrin;
  const uint32_t random_n = argc > 1 ? static_cast<uint32_t>(std::atol(argv[1])) : 20000000u;
  const std::string path = argc > 2 ? argv[2] : "tests/data/dragon_small.ply";
  const int refinements = argc > 3 ? std::atoi(argv[3]) : 4;
  set_message_sink([](MessageRoute, const std::string&) {});
  {
    std::unique_ptr<Object> o = load_big_mesh(path, refinements);
    if (!o) {
      std::fprintf(stderr, "cannot read %s\n", path.c_str());
      return 1;
    }
    std::printf("mesh: %d nodes, %d triangles\n", o->num_nodes(), o->num_triangles());
    for (int32_t grid : {256, 1024}) runSet(meshSet(*o, grid));
  }
  if (random_n > 0) runSet(randomSet(random_n));
  return 0;
}
