// Compares the three cell tables (two-level cuckoo, single-level cuckoo,
// coherent parallel hash) with std::unordered_map on random 64-bit keys and on
// the occupied cells of a sphere shell (dense runs of consecutive keys, as a
// clustering grid over a surface gives): build time, lookup time of every key
// (hits) and of as many absent keys, and memory per key, at several load
// factors. Slots carry a 56-byte record, as the quadric handlers use.
//
// Usage: bench_tables [random_key_count] [largest_sphere_grid]
#include <omp.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "tables/coherent_hash.h"
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

// The cells of an n^3 grid within 0.87 cells of a sphere of radius 0.4 n, in
// key order; absent keys are the same pattern moved past the grid.
KeySet sphereSet(uint32_t n) {
  KeySet s{"sphere shell " + std::to_string(n), {}, {}, {}};
  const double c = n / 2.0, r = 0.4 * n, t = 0.87;
  auto inside = [&](double dx, double dy, double dz) {
    return std::fabs(std::sqrt(dx * dx + dy * dy + dz * dz) - r) <= t;
  };
  for (uint32_t iz = 0; iz < n; ++iz)
    for (uint32_t iy = 0; iy < n; ++iy) {
      const double dy = iy + 0.5 - c, dz = iz + 0.5 - c, rho2 = dy * dy + dz * dz;
      if (rho2 > (r + t) * (r + t)) continue;
      const double outer = std::sqrt((r + t) * (r + t) - rho2);
      const double inner = rho2 < (r - t) * (r - t) ? std::sqrt((r - t) * (r - t) - rho2) : 0.0;
      // Two runs along x: [c - outer, c - inner] and [c + inner, c + outer].
      const int64_t a0 = std::max<int64_t>(0, static_cast<int64_t>(c - outer) - 1);
      const int64_t a1 = std::min<int64_t>(n - 1, static_cast<int64_t>(c - inner) + 1);
      const int64_t b0 = std::max<int64_t>(a1 + 1, static_cast<int64_t>(c + inner) - 1);
      const int64_t b1 = std::min<int64_t>(n - 1, static_cast<int64_t>(c + outer) + 1);
      for (int pass = 0; pass < 2; ++pass)
        for (int64_t ix = pass ? b0 : a0; ix <= (pass ? b1 : a1); ++ix)
          if (inside(ix + 0.5 - c, dy, dz))
            s.keys.push_back(ix + static_cast<uint64_t>(n) * (iy + static_cast<uint64_t>(n) * iz));
    }
  const uint64_t cells = static_cast<uint64_t>(n) * n * n;
  for (uint64_t k : s.keys) s.absent.push_back(k + cells);
  // Looked up in key order: neighbouring cells one after the other, as a walk
  // over a surface mesh visits them.
  s.lookups = s.keys;
  return s;
}

struct Row {
  std::string table;
  std::string factor;
  bool ok = false;
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
  bool operator==(const CountingAllocator<U>&) const { return true; }
};

template <class Find>
double timeLookups(const std::vector<uint64_t>& keys, Find find, int64_t expected_hits) {
  const double t0 = omp_get_wtime();
  int64_t hits = 0;
  const int64_t n = static_cast<int64_t>(keys.size());
#pragma omp parallel for schedule(static) reduction(+ : hits)
  for (int64_t i = 0; i < n; ++i) hits += find(keys[i]);
  const double t = omp_get_wtime() - t0;
  if (hits != expected_hits)
    std::printf("  !! lookups found %lld keys, expected %lld\n", static_cast<long long>(hits),
                static_cast<long long>(expected_hits));
  return t;
}

template <class Table, class Build>
Row runTable(const char* name, std::string factor, const KeySet& s, Build build, double extra_bytes_per_slot) {
  Row row{name, factor};
  Table table;
  const double t0 = omp_get_wtime();
  row.ok = build(table) == s.keys.size();
  row.build = omp_get_wtime() - t0;
  if (!row.ok) return row;
  const int64_t n = static_cast<int64_t>(s.keys.size());
  row.hits = timeLookups(s.lookups, [&](uint64_t k) { return table.find_index(k) >= 0; }, n);
  row.misses = timeLookups(s.absent, [&](uint64_t k) { return table.find_index(k) >= 0; }, 0);
  const double slot_bytes = sizeof(typename Table::Slot) + extra_bytes_per_slot;
  row.bytes_per_key = static_cast<double>(table.slotCount()) * slot_bytes / static_cast<double>(n);
  return row;
}

Row runUnorderedMap(const KeySet& s) {
  using Map = std::unordered_map<uint64_t, Qef56, std::hash<uint64_t>, std::equal_to<uint64_t>,
                                 CountingAllocator<std::pair<const uint64_t, Qef56>>>;
  Row row{"std::unordered_map", "1.0 (max)"};
  const size_t before = g_allocated;
  {
    Map map;
    const double t0 = omp_get_wtime();
    map.reserve(s.keys.size());
    for (uint64_t k : s.keys) map.emplace(k, Qef56{});
    row.build = omp_get_wtime() - t0;
    row.ok = map.size() == s.keys.size();
    const int64_t n = static_cast<int64_t>(s.keys.size());
    row.hits = timeLookups(s.lookups, [&](uint64_t k) { return map.find(k) != map.end(); }, n);
    row.misses = timeLookups(s.absent, [&](uint64_t k) { return map.find(k) != map.end(); }, 0);
    row.bytes_per_key = static_cast<double>(g_allocated - before) / static_cast<double>(n);
  }
  return row;
}

void printRows(const KeySet& s, const std::vector<Row>& rows) {
  const Row& base = rows.back();
  const double n = static_cast<double>(s.keys.size());
  std::printf("\n%s: %zu keys, %d threads\n", s.name.c_str(), s.keys.size(), omp_get_max_threads());
  std::printf("| table | factor | build s | hit lookups s | ns/hit | miss lookups s | ns/miss | bytes/key "
              "| build vs map | hits vs map | misses vs map |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (const Row& r : rows) {
    if (!r.ok) {
      std::printf("| %s | %s | %.3f | build failed (returned 0) | | | | | | | |\n", r.table.c_str(),
                  r.factor.c_str(), r.build);
      continue;
    }
    std::printf("| %s | %s | %.3f | %.3f | %.1f | %.3f | %.1f | %.1f | %.2fx | %.2fx | %.2fx |\n",
                r.table.c_str(), r.factor.c_str(), r.build, r.hits, 1e9 * r.hits / n, r.misses,
                1e9 * r.misses / n, r.bytes_per_key, base.build / r.build, base.hits / r.hits,
                base.misses / r.misses);
  }
  std::fflush(stdout);
}

void runSet(const KeySet& s) {
  const uint32_t n = static_cast<uint32_t>(s.keys.size());
  const uint64_t* keys = s.keys.data();
  std::vector<Row> rows;
  // One-byte lock per bucket plus a 2-byte count and 4-byte seed per bucket.
  rows.push_back(runTable<TwoLevelCuckooTable<Qef56>>(
      "two-level cuckoo", "(409/573)", s, [&](auto& t) { return t.build(keys, n); }, 7.0 / 573));
  for (float factor : {1.05f, 1.1f, 1.25f, 1.4f}) {
    char f[16];
    std::snprintf(f, sizeof f, "%.2f", factor);
    rows.push_back(runTable<SingleCuckooTable<Qef56>>(
        "single cuckoo", f, s, [&](auto& t) { return t.build(keys, n, factor); }, 1.0 / 16));
    rows.push_back(runTable<CoherentHashTable<Qef56>>(
        "coherent", f, s, [&](auto& t) { return t.build(keys, n, factor); }, 1.0 + 1.0 / 16));
  }
  rows.push_back(runUnorderedMap(s));
  printRows(s, rows);
}

}  // namespace
}  // namespace Tavrin

int main(int argc, char** argv) {
  using namespace Tavrin;
  const uint32_t random_n = argc > 1 ? static_cast<uint32_t>(std::atol(argv[1])) : 20000000u;
  const uint32_t grid = argc > 2 ? static_cast<uint32_t>(std::atol(argv[2])) : 1024u;
  runSet(sphereSet(256));
  if (grid > 256) runSet(sphereSet(grid));
  runSet(randomSet(random_n));
  return 0;
}
