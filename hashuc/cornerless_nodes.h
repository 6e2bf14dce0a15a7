// Output nodes of cells that hold nodes but no triangle corner: nodes used
// only by line segments, or by no element. Such a cell gathers no quadric
// and no corner mean, so its record knows nothing about where it lies (its
// point would be the origin of the normalised cube, the centre of the box).
// What can honestly be said is the mean of its nodes, and that is where the
// output node goes.
#pragma once

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

#include "base/memory_check.h"
#include "hashuc/cluster_pipeline.h"
#include "hashuc/node_slots.h"
#include "hashuc/output_assembly.h"

namespace Tavrin {

// node_slots: the slot of every node's output node (the slot output_slot
// names for it); in: the triangles, already checked to name valid nodes;
// nodes: three floats per output node, as written from the records;
// has_corner: when given, whether a corner reached each slot (else found
// here from the triangles). The
// output nodes whose slot no triangle corner reaches are moved to the mean
// of their nodes, summed in node order in double precision, so the result
// does not depend on the number of threads.
template <class Table>
void placeCornerlessNodes(const Table& table, const NodeSlots& node_slots, const TriangleInput& in,
                          const OutputNumbering& numbering, std::vector<float>& nodes,
                          const uint8_t* has_corner = nullptr) {
  const uint64_t slots = table.slotCount();
  const uint32_t* slot = node_slots.slot.data();
  std::vector<uint8_t> marks;
  const uint8_t* mark = has_corner;
  if (!mark) {
    marks.assign(slots, 0);
    uint8_t* m = marks.data();
    const int64_t triangles = in.count;
#pragma omp parallel for schedule(static)
    for (int64_t t = 0; t < triangles; ++t)
      for (int c = 0; c < 3; ++c)
        std::atomic_ref<uint8_t>(m[slot[in.node(t, c)]]).store(1, std::memory_order_relaxed);
    mark = m;
  }

  // Index of each cornerless output node among them, by its slot.
  const int32_t outputs = numbering.count();
  std::vector<int32_t> index;
  std::vector<int32_t> output_of;
  for (int32_t o = 0; o < outputs; ++o) {
    const uint32_t s = numbering.output_slot[o];
    if (s >= slots || mark[s]) continue;
    if (index.empty()) index.assign(slots, -1);
    index[s] = static_cast<int32_t>(output_of.size());
    output_of.push_back(o);
  }
  if (output_of.empty()) return;

  // Their nodes, found per block of nodes in parallel and summed in node order.
  const int64_t n = static_cast<int64_t>(node_slots.slot.size());
  const int blocks = std::max(1, omp_get_max_threads());
  std::vector<std::vector<int32_t>> found(blocks);
  ParallelAllocations allocations;
#pragma omp parallel for schedule(static)
  for (int blk = 0; blk < blocks; ++blk)
    allocations.run([&] {
      const int64_t end = n * (blk + 1) / blocks;
      for (int64_t i = n * blk / blocks; i < end; ++i)
        if (slot[i] < slots && index[slot[i]] >= 0) found[blk].push_back(static_cast<int32_t>(i));
    });
  allocations.rethrow();
  std::vector<double> sums(4 * output_of.size(), 0.0);
  for (const std::vector<int32_t>& nodes_of_block : found)
    for (const int32_t i : nodes_of_block) {
      const int32_t k = index[slot[i]];
      const Vec3 p = in.position(i);
      double* sum = sums.data() + 4 * k;
      sum[0] += p.x;
      sum[1] += p.y;
      sum[2] += p.z;
      sum[3] += 1.0;
    }
  for (size_t k = 0; k < output_of.size(); ++k) {
    const double* sum = sums.data() + 4 * k;
    if (sum[3] == 0.0) continue;
    float* dst = nodes.data() + 3 * static_cast<size_t>(output_of[k]);
    for (int a = 0; a < 3; ++a) dst[a] = static_cast<float>(sum[a] / sum[3]);
  }
}

}  // namespace Tavrin
