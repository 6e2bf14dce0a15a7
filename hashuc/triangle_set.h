// Output triangles without duplicates, added from all threads at once. Two
// triangles over the same three nodes (in any order) are one; the one that
// stays is the one with the smallest source triangle number, and within a
// bucket triangles are copied out by source number, so the result is what
// one thread adding the triangles in order would give.
#pragma once

#include <cstdint>
#include <vector>

#include "tables/chunked_buckets.h"

namespace Tavrin {

class TriangleSet {
 public:
  struct Entry {
    int32_t a, b, c;
    int32_t source;
  };

  explicit TriangleSet(uint32_t bucket_count) : buckets_(bucket_count) {}

  void add(int32_t a, int32_t b, int32_t c, int32_t source);
  uint64_t count() const { return buckets_.total(); }
  // Node triples bucket by bucket, stopping before a bucket that would
  // exceed the capacity; returns the number written.
  uint64_t copyOut(int32_t* triples, uint64_t capacity);
  // Every entry with its source number, in the same order.
  void copyOutAll(std::vector<Entry>& out);

 private:
  void sort_bucket(uint32_t b, std::vector<Entry>& scratch);
  ChunkedBuckets<Entry, 7> buckets_;
};

}  // namespace Tavrin
