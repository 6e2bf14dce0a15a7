// The "Boundary" field of a mesh read in blocks: a node is marked when it
// lies on an edge used by exactly one triangle side (counting each side of
// each triangle once, so that a side a degenerate triangle repeats counts
// twice, and a side from a node to itself is an edge of that node alone).
//
// The sides are counted by sorting their edge words (smaller node in the
// high half). A first sweep over the triangles counts the sides per range
// of smaller nodes; the ranges are then gathered into parts that fit the
// memory budget, and each part takes one more sweep that puts every side
// straight into its range's place, after which the ranges are sorted and
// scanned in parallel. The marks do not depend on the order of the sides,
// so neither on the blocks nor on the threads.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace Tavrin {

class StreamBoundary {
 public:
  // Takes 1 byte per node and 8 per 64 nodes; missing() tells when that
  // memory was not there.
  explicit StreamBoundary(int64_t num_nodes);
  // Bytes that could not be had (the constructor's, or begin_pass's when it
  // returned false); 0 when nothing was missing.
  uint64_t missing() const { return missing_; }

  // First sweep: every triangle of the mesh, block by block (sides with a
  // node outside the mesh are ignored here and below).
  void count_triangles(const int32_t* triangles, int64_t count);
  // Splits the ranges into parts of at most `budget` bytes of sides each
  // (a range larger than that makes a part of its own); returns the number
  // of parts, each needing one more sweep.
  int plan(uint64_t budget);

  // One sweep per part: begin_pass(p), every triangle, end_pass(). False
  // from begin_pass when the room for the largest part cannot be had
  // (missing() says how much), from end_pass when the sweep's sides differ
  // in number from the first sweep's (the triangles changed in between):
  // nothing is marked then.
  bool begin_pass(int part);
  void add_triangles(const int32_t* triangles, int64_t count);
  bool end_pass();

  // Frees everything but the marks.
  void finish();

  bool any() const { return any_; }
  // 1 for the marked nodes, else 0.
  const std::vector<uint8_t>& marks() const { return marks_; }

 private:
  // Ranges of 64 consecutive nodes: a range's sides sort in the cache.
  static constexpr int kRangeShift = 6;
  static int64_t range_of(int32_t smaller) { return smaller >> kRangeShift; }
  template <class Visit>
  void sides(const int32_t* triangles, int64_t count, const Visit& visit) const;

  int64_t num_nodes_;
  int64_t ranges_;
  std::vector<uint64_t> count_;        // sides per range
  std::vector<int64_t> part_first_;    // first range of each part, then the end
  int64_t first_ = 0, last_ = 0;       // ranges of the current part
  std::vector<uint64_t> cursor_;       // next place of each range of the part
  std::vector<uint64_t> end_;          // end of each range of the part
  bool overflow_ = false;              // a range got more sides than counted
  std::unique_ptr<uint64_t[]> words_;  // room for the largest part, reused
  uint64_t most_words_ = 0;
  std::vector<uint8_t> marks_;
  bool any_ = false;
  uint64_t missing_ = 0;
};

}  // namespace Tavrin
