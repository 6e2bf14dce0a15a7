// Edges (node pairs) with a counter, added from all threads at once. Used to
// find boundary edges, the midpoints of refinement, and the collapsed edges
// that become line segments in simplified meshes. Within a bucket the edges
// are copied out ordered by (a, b), so the order never depends on threads.
#pragma once

#include <atomic>
#include <cstdint>

#include "tables/chunked_buckets.h"

namespace Tavrin {

class EdgeSet {
 public:
  struct Entry {
    int32_t a, b, counter;
  };

  explicit EdgeSet(uint32_t bucket_count) : buckets_(bucket_count) {}

  // Callers pass the smaller node first; the pair matches in either order.
  void add(int32_t a, int32_t b, int32_t amount);
  // Number of edges whose counter equals c.
  uint64_t countWithCounter(int32_t c);
  // Node pairs of the edges whose counter equals c, at most capacity pairs.
  uint64_t copyOutWithCounter(int32_t c, int32_t* pairs, uint64_t capacity);
  // Every edge in output order (bucket, then (a, b)).
  void copyOutAll(std::vector<Entry>& out);
  // The counter of an edge after all adds, or nullptr; takes no lock.
  Entry* find(int32_t a, int32_t b);

 private:
  void sort_buckets();
  ChunkedBuckets<Entry, 10> buckets_;
  // Cleared by add on every thread, so atomic; read and set only between adds.
  std::atomic<bool> sorted_{false};
};

}  // namespace Tavrin
