// Storage shared by the locked hash sets: B buckets, each with a lock, an
// entry count and N entries inline; further entries go to chained chunks of N
// that are allocated when a bucket first overflows. Entry i of a bucket lies
// in chunk i / N (chunk 0 being the bucket itself) at position i % N.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/spin_lock.h"

namespace Tavrin {

template <class Entry, int N>
class ChunkedBuckets {
 public:
  explicit ChunkedBuckets(uint32_t bucket_count) : buckets_(bucket_count ? bucket_count : 1) {}
  ChunkedBuckets(const ChunkedBuckets&) = delete;
  ChunkedBuckets& operator=(const ChunkedBuckets&) = delete;

  uint32_t bucket_count() const { return static_cast<uint32_t>(buckets_.size()); }
  SpinLock& lock(uint32_t b) { return buckets_[b].lock; }
  int32_t size(uint32_t b) const { return buckets_[b].count; }

  Entry& at(uint32_t b, int32_t i) {
    Bucket& bk = buckets_[b];
    if (i < N) return bk.entries[i];
    Chunk* c = bk.next.get();
    for (int32_t k = i / N - 1; k > 0; --k) c = c->next.get();
    return c->entries[i % N];
  }

  // Appends under the caller's hold of the bucket's lock.
  void append(uint32_t b, const Entry& e) {
    Bucket& bk = buckets_[b];
    int32_t i = bk.count;
    if (i >= N) {
      std::unique_ptr<Chunk>* link = &bk.next;
      for (int32_t k = i / N - 1; k > 0; --k) link = &(*link)->next;
      if (!*link) *link = std::make_unique<Chunk>();
      (*link)->entries[i % N] = e;
    } else {
      bk.entries[i] = e;
    }
    bk.count = i + 1;
  }

  // Entries of one bucket, copied out in entry order.
  void gather(uint32_t b, std::vector<Entry>& out) {
    out.clear();
    for (int32_t i = 0; i < buckets_[b].count; ++i) out.push_back(at(b, i));
  }

  uint64_t total() const {
    uint64_t n = 0;
    for (const Bucket& b : buckets_) n += static_cast<uint64_t>(b.count);
    return n;
  }

 private:
  struct Chunk {
    std::unique_ptr<Chunk> next;
    Entry entries[N];
  };
  struct Bucket {
    std::unique_ptr<Chunk> next;
    Entry entries[N];
    int32_t count = 0;
    SpinLock lock;
  };
  std::vector<Bucket> buckets_;
};

}  // namespace Tavrin
