// The common body of the uniform-clustering handlers: grid, occupied cells,
// a cell table built once from them, and the shared passes (accumulation,
// solve, output assembly, value averaging, export) run over that table. A
// handler is this template given its table type and a record policy:
//   using Record = ...;                       // an array `float v[]` of fields
//   static constexpr int kNumberField, kPointField;
//   static constexpr int kValueField, kValueCountField, kOneValueCountField;
//   static constexpr std::array<int, K> kExportFields;  // K may be 0
//   static Fold fold(const ClusterSpace&);    // see cluster_pipeline.h
//   static int solve(Record&, uint64_t key, const ClusterGrid&);
// Handlers whose cells are sub-clusters, whose numbering merges records or
// whose submit takes values override the operations concerned and reuse the
// passes. Without a table every operation from submit on does nothing.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/messages.h"
#include "hashuc/block_passes.h"
#include "hashuc/cluster_pipeline.h"
#include "hashuc/cornerless_nodes.h"
#include "hashuc/grid.h"
#include "hashuc/handler_interface.h"
#include "hashuc/node_slots.h"
#include "hashuc/output_assembly.h"
#include "hashuc/value_interpolation.h"
#include "tables/random_streams.h"

namespace Tavrin {

template <class Table, class Policy>
class ClusterHandler : public HandlerInterface, public BlockPasses {
 public:
  using Record = typename Policy::Record;

  ClusterHandler() = default;
  ClusterHandler(const ClusterHandler&) = delete;
  ClusterHandler& operator=(const ClusterHandler&) = delete;

  void releaseCells() override {
    solved_ = -1;
    std::vector<uint8_t>().swap(solved_flags_);
    table_.reset();
    std::vector<uint64_t>().swap(space_.cellKeys);
    std::vector<uint32_t>().swap(built_slot_);
    space_.forgetNodeCells();
    map_.clear();
    crossings_.clear();
  }

  int32_t gridSize() const override { return space_.grid.nx; }

  double setUpGrid(int32_t grid_size, const float* coords, int32_t node_count,
                   int32_t components) override {
    node_count_ = node_count;
    return space_.setUpGrid(grid_size, coords, node_count, components, 0);
  }

  void initialise(int32_t grid_size, const float* coords, int32_t node_count,
                  int32_t components) override {
    releaseCells();
    setUpGrid(grid_size, coords, node_count, components);
    collectOccupiedCells(space_, coords, node_count, components);
    buildTable();
  }

  void initialiseWithNormals(int32_t grid_size, const float* coords, int32_t node_count,
                             int32_t components, const int32_t*, int32_t, int32_t) override {
    initialise(grid_size, coords, node_count, components);
  }

  void computeNodeNormals(const float*, int32_t, int32_t, const int32_t*, int32_t,
                          int32_t) override {}

  void submit(const float* coords, int32_t components, const int32_t* triangles,
              int32_t triangle_count, int32_t triangle_stride) override {
    if (table_)
      accumulateWith(Policy::fold(space_), coords, components, triangles, triangle_count,
                     triangle_stride);
  }

  int32_t solve() override {
    if (!table_) return 0;
    const ClusterGrid& grid = space_.grid;
    solved_flags_.resize(table_->slotCount());
    solved_ = solveSlots(
        *table_, [&](Record& r, uint64_t key) { return Policy::solve(r, key, grid); },
        solved_flags_.data());
    return static_cast<int32_t>(solved_);
  }

  void output(const float* coords, int32_t components, const int32_t* triangles,
              int32_t triangle_count, int32_t triangle_stride, SimplifiedMesh& mesh) override {
    if (!table_ || !ensureNodeSlots(coords, node_count_, components)) return;
    OutputNumbering numbering;
    if (!number(numbering)) return;
    const TriangleInput in = input(coords, components, triangles, triangle_count, triangle_stride);
    int64_t bad = -1;
    if (!assembleTrianglesAndLines<Policy>(*table_, space_.normalisation, map_, in,
                                           numbering.count(), mesh, bad, &crossings_)) {
      failBadTriangle(bad, in);
      mesh.clear();
      return;
    }
    writeOutputNodes<Policy>(*table_, space_.normalisation, numbering, mesh.nodes);
    // When every cell was solved, every cell holds a corner; otherwise (or
    // when the solve was a handler's own) the cells without one are placed.
    // The shared solve tells which slots a corner reached.
    if (solved_ < 0 || solved_ < numbering.count())
      placeCornerlessNodes(*table_, valueSlots(), in, numbering, mesh.nodes,
                           solved_ >= 0 && solved_flags_.size() == table_->slotCount()
                               ? solved_flags_.data()
                               : nullptr);
  }

  void resetCells() override {
    if (table_) clearRecords(*table_);
  }

  void interpolateValue(const float* coords, int32_t node_count, int32_t components,
                        const float* values, int32_t stride, std::vector<float>& out,
                        int32_t& length) override {
    ValueArrays va;
    va.values[0] = values;
    va.strides[0] = stride;
    va.count = 1;
    std::vector<std::vector<float>> arrays;
    if (!average(coords, node_count, components, va, Policy::kOneValueCountField, arrays)) return;
    out = std::move(arrays[0]);
    length = static_cast<int32_t>(out.size());
  }

  void interpolateValues(const float* coords, int32_t node_count, int32_t components,
                         const float* const* values, const int32_t* strides, int32_t count,
                         std::vector<std::vector<float>>& out, int32_t& length) override {
    ValueArrays va;
    va.count = count < 0 ? 0 : (count > 6 ? 6 : count);
    for (int j = 0; j < va.count; ++j) {
      va.values[j] = values[j];
      va.strides[j] = strides[j];
    }
    std::vector<std::vector<float>> arrays;
    if (!average(coords, node_count, components, va, Policy::kValueCountField, arrays)) return;
    length = arrays.empty() ? space_.cellCount() : static_cast<int32_t>(arrays[0].size());
    out = std::move(arrays);
  }

  int32_t exportCells(std::vector<std::vector<float>>& out, int32_t& length) override {
    constexpr int n = static_cast<int>(Policy::kExportFields.size());
    if constexpr (n == 0) {
      (void)out;
      (void)length;
      return 0;
    }
    if (!table_) return 0;
    OutputNumbering numbering;
    if (!number(numbering)) return 0;
    out.assign(n, {});
    for (int j = 0; j < n; ++j)
      writePerOutputNode(*table_, numbering, 1, out[j], [&](const Record& rec, float* dst) {
        *dst = rec.v[Policy::kExportFields[j]];
      });
    length = numbering.count();
    return n;
  }

  bool outputNodeOfNodes(std::vector<int32_t>& out) override {
    if (!table_ || map_.slot.empty()) return false;
    const NodeSlots& slots = valueSlots();
    const int64_t n = static_cast<int64_t>(slots.slot.size());
    const uint64_t slot_count = table_->slotCount();
    out.assign(static_cast<size_t>(n), -1);
#pragma omp parallel for schedule(static)
    for (int64_t i = 0; i < n; ++i) {
      const uint32_t s = slots.slot[i];
      if (s != kNoSlot && s < slot_count) out[i] = outputNumberOf<Policy>(table_->slot(s).rec);
    }
    return true;
  }

  const NodeSlots* nodeSlotMap() const override {
    return table_ && !map_.slot.empty() ? &map_ : nullptr;
  }

  bool beginValuePass() override {
    if (!table_ || map_.slot.empty()) return false;
    clearRecords(*table_);
    value_extras_.clear();
    return everyNodeMapped(*table_, valueSlots());
  }

  bool addValueBlock(int64_t first, int64_t count, const ValueArrays& va) override {
    const NodeSlots& slots = valueSlots();
    if (!table_ || first < 0 || count < 0 ||
        first + count > static_cast<int64_t>(slots.slot.size()))
      return false;
    for (int j = 0; j < va.count; ++j)
      if (!va.values[j]) return false;
    sumValuesPerSlot(*table_, slots, first, count, va, Policy::kValueField, valuePassCountField(),
                     value_extras_);
    return true;
  }

  bool finishValuePass(int32_t fields, std::vector<std::vector<float>>& out) override {
    if (!table_) return false;
    divideByValueCount(*table_, Policy::kValueField, valuePassCountField(), value_extras_);
    value_extras_.clear();
    OutputNumbering numbering;
    if (!number(numbering)) return false;
    writeAveragedValues(*table_, numbering, Policy::kValueField, fields, out);
    return true;
  }

  // Read access for tests and diagnostics.
  const ClusterSpace& space() const { return space_; }
  const Table* table() const { return table_.get(); }

 protected:
  // Builds the table from the key array; a failed build leaves no table.
  // A table that can tell where it placed each key says so here, and the
  // node map then needs no lookups.
  virtual void buildTable() {
    table_ = std::make_unique<Table>();
    const uint32_t n = static_cast<uint32_t>(space_.cellKeys.size());
    built_slot_.clear();
    if constexpr (requires(Table & t, uint32_t * at) {
                    t.build(space_.cellKeys.data(), n, handler_random(), at);
                    t.notedSlots();
                  }) {
      built_slot_.resize(n);
      const bool built =
          table_->build(space_.cellKeys.data(), n, handler_random(), built_slot_.data()) != 0;
      if (!built || !table_->notedSlots()) std::vector<uint32_t>().swap(built_slot_);
      if (!built) table_.reset();
    } else {
      if (table_->build(space_.cellKeys.data(), n, handler_random()) == 0) table_.reset();
    }
  }

  // Folds the triangles into their cells with the given fold (a handler
  // whose fold needs more than the geometry, e.g. per-node values, makes its
  // own and passes it here).
  template <class Fold>
  void accumulateWith(const Fold& fold, const float* coords, int32_t components,
                      const int32_t* triangles, int32_t triangle_count, int32_t triangle_stride) {
    if (!table_ || !ensureNodeSlots(coords, node_count_, components)) return;
    const TriangleInput in = input(coords, components, triangles, triangle_count, triangle_stride);
    int64_t bad = -1;
    switch (accumulateTriangles(*table_, space_.normalisation, map_, in, fold, bad, &crossings_)) {
      case PassResult::Done:
        break;
      case PassResult::BadNode:
        failBadTriangle(bad, in);
        break;
      case PassResult::NoMemory:
        fail("Simplification failed: not enough memory for the triangle pass.\n");
        break;
    }
  }

  // The record field a value pass of addValueBlock counts its nodes in:
  // that of interpolateValues, or of interpolateValue for a handler that
  // averages each field alone (fieldsPerValuePass() 1).
  virtual int valuePassCountField() const { return Policy::kValueCountField; }

  // Output numbers into the records; by default the key order.
  virtual bool number(OutputNumbering& numbering) {
    if (numberByKeyOrder<Policy>(*table_, space_.cellKeys, numbering, &map_.cell_slot)) return true;
    fail("Simplification failed: an occupied cell is missing from the cell table.\n");
    return false;
  }

  // Fills map_ with the slot of every node's cell; a handler whose keys
  // depend on more than the position (a sub-cluster by node normal) overrides it.
  virtual bool mapNodes(const float* coords, int64_t node_count, int32_t components) {
    return mapNodesToSlots(
        *table_, space_.normalisation, [&](const Vec3& q, int64_t) { return space_.grid.key(q); },
        coords, node_count, components, map_);
  }

  // mapNodes, or the same map from the cells the collection found for these
  // coordinates (every cell looked up once); the collection's node cells are
  // dropped once used.
  bool mapNodesOnce(const float* coords, int64_t node_count, int32_t components) {
    const ClusterSpace& s = space_;
    if (s.nodeCellCoords != coords || s.nodeCellStride != components ||
        static_cast<int64_t>(s.nodeCell.size()) != node_count)
      return mapNodes(coords, node_count, components);
    const bool ok =
        mapNodesByCell(*table_, s.cellKeys, s.nodeCell, coords, components, map_, &built_slot_);
    space_.forgetNodeCells();
    return ok;
  }

  // The slot each node's values are summed in: by default its own cell's.
  // A handler whose output nodes span several records (merged sub-clusters)
  // sums all their nodes in one of them.
  virtual const NodeSlots& valueSlots() { return map_; }

  // The node map for these coordinates, made once and kept while the
  // coordinates stay the same; a node without a cell fails the run.
  bool ensureNodeSlots(const float* coords, int64_t node_count, int32_t components) {
    if (map_.matches(coords, node_count, components)) return true;
    crossings_.clear();
    if (coords && node_count > 0 && mapNodesOnce(coords, node_count, components)) return true;
    const int64_t missing = map_.missing_node;
    fail(missing >= 0 ? format("Simplification failed: the cell of node %lld is missing from the "
                               "cell table.\n",
                               static_cast<long long>(missing))
                      : std::string("Simplification failed: the nodes could not be mapped to "
                                    "their cells.\n"));
    return false;
  }

  bool average(const float* coords, int32_t node_count, int32_t components, const ValueArrays& va,
               int count_field, std::vector<std::vector<float>>& arrays) {
    if (!table_ || !ensureNodeSlots(coords, node_count, components)) return false;
    for (int j = 0; j < va.count; ++j)
      if (!va.values[j]) return false;
    if (!averageValuesPerSlot(*table_, valueSlots(), va, Policy::kValueField, count_field))
      return false;
    OutputNumbering numbering;
    if (!number(numbering)) return false;
    writeAveragedValues(*table_, numbering, Policy::kValueField, va.count, arrays);
    return true;
  }

  static TriangleInput input(const float* coords, int32_t components, const int32_t* triangles,
                             int32_t count, int32_t stride) {
    TriangleInput in;
    in.coords = coords;
    in.components = components;
    in.triangles = triangles;
    in.count = triangles ? count : 0;
    in.stride = stride;
    return in;
  }

  void failBadTriangle(int64_t bad, const TriangleInput& in) {
    fail(format("Simplification failed: triangle %lld refers to a node outside 0 to %lld.\n",
                static_cast<long long>(bad), static_cast<long long>(map_.slot.size()) - 1));
    (void)in;
  }

  // Reports a failed run once and drops the table: nothing is output.
  void fail(const std::string& message) {
    log_message(message);
    table_.reset();
    map_.clear();
    crossings_.clear();
  }

  std::unique_ptr<Table> table_;
  ClusterSpace space_;
  int64_t node_count_ = 0;
  NodeSlots map_;
  ValueSumExtras value_extras_;        // of the value pass under way (addValueBlock)
  SlotCrossings crossings_;            // of the last accumulation, for the output pass
  int64_t solved_ = -1;                // cells the shared solve solved; -1 when it has not run
  std::vector<uint8_t> solved_flags_;  // per slot, whether the shared solve solved it
  std::vector<uint32_t> built_slot_;   // per cell key, its slot as the build placed it
};

}  // namespace Tavrin
