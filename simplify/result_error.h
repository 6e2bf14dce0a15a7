// How far a simplified mesh lies from its source, relative to the diagonal
// of the source's bounding box. Every output node stands for a cell (or a
// merged group of sub-clusters) of source nodes; its error is
//   - for the quadric types, the root mean square of the distances from the
//     output node to the planes of the source triangles with a corner in the
//     cell (each triangle counted once per cell, degenerate ones skipped),
//     that is the square root of the cell's summed squared plane distances
//     divided by the number of its triangles;
//   - for the averaging type, the root mean square of the distances from the
//     cell's source nodes to the output node.
// The result states the largest cell error and the root mean square over
// the cells. Every per-cell sum is formed in source order in double and the
// cells are combined in output order, so the figures do not depend on the
// thread count.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hashuc/handler_interface.h"

namespace Tavrin {

struct ResultError {
  double max = 0.0;
  double rms = 0.0;
  int64_t cells = 0;  // output nodes that had something to measure
  bool measured = false;
};

// Whether the type measures plane distances (true) or node distances.
bool measures_planes(simp_type type);

class ResultErrorMeasure {
 public:
  // `output_of_node` gives for every source node its output node (-1 none);
  // `output_nodes` three floats per output node.
  ResultErrorMeasure(const float* coords, int64_t node_count, std::vector<int32_t> output_of_node,
                     const std::vector<float>& output_nodes);

  // Plane distances of a block of triangles (three node numbers each), in
  // source order block after block.
  void addTriangles(const int32_t* triangles, int64_t count, int32_t stride);
  // Distances of every source node to its output node.
  void addNodes();
  ResultError finish() const;

 private:
  const float* coords_;
  int64_t node_count_;
  std::vector<int32_t> output_of_node_;
  const std::vector<float>& output_nodes_;
  std::vector<double> sum_;
  std::vector<int64_t> count_;
  double diagonal_ = 0.0;
};

// The error of the result a handler has just output (before its cells are
// reset): the plane measure over the given triangles or the node measure.
// Not measured when the handler cannot name each node's output node.
ResultError measure_result_error(HandlerInterface* handler, const float* coords, int64_t node_count,
                                 const int32_t* triangles, int64_t triangle_count, int32_t stride,
                                 const SimplifiedMesh& mesh);

// "Error: max %g, rms %g of the diagonal.\n"
std::string result_error_line(const ResultError& error);

}  // namespace Tavrin
