#include "simplify/no_mesh_report.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/messages.h"
#include "hashuc/grid.h"
#include "io/ply_block_reader.h"
#include "mesh/object.h"

namespace Tavrin {

namespace {

// Whether the cells can be laid over the nodes: the cube around them, its
// centre and the scale into [-1, 1] are finite floats (a box spanning more
// than the float range, or nodes closer than the smallest float steps, give
// infinities there and every node lands in one cell).
bool usable_box(const Box& box) {
  NormalizationBox nb;
  nb.compute(box);
  for (int k = 0; k < 3; ++k)
    if (!std::isfinite(nb.centre[k]) || !std::isfinite(nb.half_extent[k]) ||
        !std::isfinite(nb.inverse_half_extent[k]))
      return false;
  return true;
}

// The nodes' bounding box of a file the streamed road took, read in blocks
// (the reader has refused non-finite coordinates); none when it cannot be
// read or has no nodes.
std::optional<Box> streamed_bounds(const std::string& file) {
  PlyBlockReader reader;
  if (!reader.open(file) || !reader.is_streamable() || reader.num_nodes() == 0) return {};
  constexpr int64_t kBlock = 65536;
  std::vector<float> xyz(3 * kBlock);
  Box box;
  for (int64_t first = 0; first < reader.num_nodes(); first += kBlock) {
    const int64_t count = std::min(kBlock, reader.num_nodes() - first);
    if (!reader.read_vertices(first, count, xyz.data(), nullptr)) return {};
    for (int64_t i = 0; i < count; ++i)
      for (int k = 0; k < 3; ++k) {
        box.min[k] = std::min(box.min[k], xyz[3 * i + k]);
        box.max[k] = std::max(box.max[k], xyz[3 * i + k]);
      }
  }
  return box;
}

}  // namespace

void report_no_mesh(const Object* source, const std::string& file) {
  std::optional<Box> box;
  if (source && !source->nodes.empty())
    box = source->box();
  else if (!source)
    box = streamed_bounds(file);
  if (box && !usable_box(*box))
    log_message(
        format("The simplification produced no mesh: the bounding box of the nodes, "
               "from (%g, %g, %g) to (%g, %g, %g), cannot be divided into cells; "
               "nothing was written.\n",
               box->min.x, box->min.y, box->min.z, box->max.x, box->max.y, box->max.z));
  else
    log_message("The simplification produced no mesh; nothing was written.\n");
}

}  // namespace Tavrin
