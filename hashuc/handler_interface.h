// The interface every clustering handler implements: one object owns the
// grid, the occupied cells and the cell table of one simplification run and
// answers eighteen operations, declared here in a fixed order. Also the
// per-node inputs and outputs that travel with a run and the process-wide
// phase times.
#pragma once

#include <cstdint>
#include <vector>

#include "hashuc/simp_type.h"

namespace Tavrin {

// Extra per-node values folded into the quadrics of the scalar methods:
// k = 0, 1 or 3 arrays of one float per source node (borrowed).
struct QefInputs {
  const float* arrays[3] = {nullptr, nullptr, nullptr};
  int32_t count = 0;
};

// What a handler returns for its QefInputs: one array of one float per output
// node for each extra dimension, at the cells' optimal points.
struct ExtraOutputs {
  int32_t flag = 0;  // non-zero when arrays were returned
  std::vector<std::vector<float>> arrays;
};

// The simplified mesh a handler assembles: three floats per node, two node
// numbers per line, three per triangle. Lines are produced only when wanted.
struct SimplifiedMesh {
  std::vector<float> nodes;
  std::vector<int32_t> lines;
  std::vector<int32_t> triangles;
  bool want_lines = true;

  int32_t nodeCount() const { return static_cast<int32_t>(nodes.size() / 3); }
  int32_t lineCount() const { return static_cast<int32_t>(lines.size() / 2); }
  int32_t triangleCount() const { return static_cast<int32_t>(triangles.size() / 3); }
  void clear() {
    nodes.clear();
    lines.clear();
    triangles.clear();
  }
};

// Seconds spent in each phase of one handler's run.
struct PhaseTimes {
  float create = 0, submit = 0, optimal = 0, simplify = 0;
  float normals = 0, clear = 0, interpolate = 0, destroy = 0;
};

class HandlerInterface {
 public:
  virtual simp_type type() const = 0;
  virtual ~HandlerInterface() = default;
  // The seconds of this handler's run, summed by the factory's run
  // functions (hashuc/handler_factory.h); delete_handler hands them back.
  PhaseTimes& phaseTimes() { return phase_times_; }
  // Frees the cell table and the key array; the key count becomes 0.
  virtual void releaseCells() = 0;
  virtual uint64_t memoryBytes() const = 0;
  virtual int32_t gridSize() const = 0;
  // Bounding box, normalisation and grid; returns the cell diagonal.
  virtual double setUpGrid(int32_t grid_size, const float* coords, int32_t node_count,
                           int32_t components) = 0;
  // setUpGrid, then the occupied cells and the cell table.
  virtual void initialise(int32_t grid_size, const float* coords, int32_t node_count,
                          int32_t components) = 0;
  virtual void initialiseWithNormals(int32_t grid_size, const float* coords, int32_t node_count,
                                     int32_t components, const int32_t* triangles,
                                     int32_t triangle_count, int32_t triangle_stride) = 0;
  virtual void computeNodeNormals(const float* coords, int32_t node_count, int32_t components,
                                  const int32_t* triangles, int32_t triangle_count,
                                  int32_t triangle_stride) = 0;
  // Folds the triangles into their cells; the base ignores the values.
  virtual void submitWithValues(const float* coords, int32_t components, const QefInputs& values,
                                const int32_t* triangles, int32_t triangle_count,
                                int32_t triangle_stride) {
    (void)values;
    submit(coords, components, triangles, triangle_count, triangle_stride);
  }
  virtual void submit(const float* coords, int32_t components, const int32_t* triangles,
                      int32_t triangle_count, int32_t triangle_stride) = 0;
  // Computes every cell's representative point; returns the cells solved.
  virtual int32_t solve() = 0;
  // Assembles the simplified mesh; the base leaves `extra` as it is.
  virtual void outputWithValues(const float* coords, int32_t components, const int32_t* triangles,
                                int32_t triangle_count, int32_t triangle_stride,
                                SimplifiedMesh& mesh, ExtraOutputs& extra) {
    (void)extra;
    output(coords, components, triangles, triangle_count, triangle_stride, mesh);
  }
  virtual void output(const float* coords, int32_t components, const int32_t* triangles,
                      int32_t triangle_count, int32_t triangle_stride, SimplifiedMesh& mesh) = 0;
  // Zeroes every cell record and keeps every cell.
  virtual void resetCells() = 0;
  // Averages one per-node value array per output node.
  virtual void interpolateValue(const float* coords, int32_t node_count, int32_t components,
                                const float* values, int32_t stride, std::vector<float>& out,
                                int32_t& length) = 0;
  // Averages up to six per-node value arrays per output node in one pass.
  virtual void interpolateValues(const float* coords, int32_t node_count, int32_t components,
                                 const float* const* values, const int32_t* strides, int32_t count,
                                 std::vector<std::vector<float>>& out, int32_t& length) = 0;
  // Per-output-node diagnostic arrays of the last solve; returns their number.
  virtual int32_t exportCells(std::vector<std::vector<float>>& out, int32_t& length) = 0;
  // After output and before the cells are reset: the output node of every
  // source node (-1 for none), for measuring the result's error; false when
  // the handler cannot tell.
  virtual bool outputNodeOfNodes(std::vector<int32_t>& out) {
    (void)out;
    return false;
  }

 private:
  PhaseTimes phase_times_;
};

}  // namespace Tavrin
