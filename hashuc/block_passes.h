// What a run that reads its mesh in blocks needs from a clustering handler
// beyond HandlerInterface: the node-to-slot map (to keep only the triangles
// that can reach the output), and value averaging fed with the nodes block
// after block. A handler offers it by deriving from BlockPasses; the run
// finds it with a dynamic_cast.
#pragma once

#include <cstdint>
#include <vector>

#include "hashuc/node_slots.h"
#include "hashuc/value_interpolation.h"

namespace Tavrin {

class BlockPasses {
 public:
  virtual ~BlockPasses() = default;
  // The slot of every node's record, made by the first submit; null before
  // it or after a failed run.
  virtual const NodeSlots* nodeSlotMap() const = 0;

  // Value averaging in passes that give the same values as
  // interpolateValues: a pass takes at most fieldsPerValuePass() fields
  // (interpolateValues averages that many together), begins with
  // beginValuePass, gets every node exactly once, in node order, through
  // addValueBlock, and ends with finishValuePass, which hands out one
  // array per field and output node. Each returns false when the handler
  // has no table or a node has no slot (the handler then says why).
  virtual int32_t fieldsPerValuePass() const { return 6; }
  virtual bool beginValuePass() = 0;
  // va.values[j][k * va.strides[j]]: field j of node first + k.
  virtual bool addValueBlock(int64_t first, int64_t count, const ValueArrays& va) = 0;
  virtual bool finishValuePass(int32_t fields, std::vector<std::vector<float>>& out) = 0;
};

}  // namespace Tavrin
