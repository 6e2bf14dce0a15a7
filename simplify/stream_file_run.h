// The streamed road of a batch run: the mesh is read from a binary PLY file
// in blocks, several times, instead of being loaded whole. Only the node
// coordinates, one byte per node (the boundary marks), the node-to-cell map
// and the cell table stay in memory, with the per-node inputs of the scalar
// types and the triangles that cross cells. The result and the messages are
// those of load_ply followed by simplify_object.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "hashuc/simplify_options.h"
#include "mesh/object.h"

namespace Tavrin {

// The largest block: a block of faces may hold twice as many triangles,
// and a block of vertices is read in one piece.
constexpr int64_t kMaxStreamBlock = int64_t{1} << 24;
// The least memory the passes over the boundary edges are given, whatever
// the budget.
constexpr uint64_t kMinEdgeBudget = uint64_t{64} << 20;

struct StreamSettings {
  int64_t block = 1 << 20;  // vertices or faces read per block
  // Memory budget in bytes: tavrin streams when the in-memory road would
  // need more; a streamed run counts the boundary edges in passes of at
  // most this (and at most 16 bytes per node, at least 64 MB).
  uint64_t budget = uint64_t{1} << 30;
};

enum class StreamOutcome { Simplified, ReadFailed, NoMesh };

// Reads `path` in blocks and simplifies it; `result` receives the mesh. The
// messages are those of a load and a simplification (a refused file or
// type says why in one line).
// `choose_grid`, when given, picks the grid from the read mesh (with the
// field the run selects) in place of options.grid_size; nullopt stops the
// run (having said why).
struct StreamedMesh;
using StreamGridChooser =
    std::function<std::optional<int32_t>(const StreamedMesh& mesh, int selected_field)>;
StreamOutcome stream_simplify_file(const std::string& path, const SimplifyOptions& options,
                                   const StreamSettings& settings, std::unique_ptr<Object>& result,
                                   const StreamGridChooser& choose_grid = {});

}  // namespace Tavrin
