// Turning a request for a triangle budget or an error bound into a grid
// once the mesh is read: what the searches probe on a mesh in memory or a
// streamed one, and the lines that say how the grid was chosen.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace Tavrin {

// A triangle budget (at most `triangles`) or an error bound relative to the
// bounding-box diagonal (at most `max_error`).
struct GridRequest {
  enum class Kind { Triangles, MaxError };
  Kind kind = Kind::Triangles;
  int64_t triangles = 0;
  double max_error = 0.0;
};

// The mesh the search probes: its nodes, its triangle count and a sweep
// that hands every triangle over in blocks (three node numbers at the start
// of every `stride`); the sweep returns false when it failed.
using TriangleBlock = std::function<bool(const int32_t* triangles, int64_t count, int32_t stride)>;
struct SearchSource {
  const float* coords = nullptr;
  int64_t node_count = 0;
  int64_t triangle_count = 0;
  std::function<bool(const TriangleBlock& block)> sweep;
  // The error of a quiet run at a grid (nullopt when it failed).
  std::function<std::optional<double>(int32_t grid)> error_at;
};

// The grid the request asks for, with the lines that say how it was chosen;
// nullopt when the search failed (having said why).
std::optional<int32_t> choose_grid(const GridRequest& request, const SearchSource& source,
                                   bool counts_exact);

class Object;
struct StreamedMesh;
struct SimplifyOptions;

// The search source of a mesh in memory and of a streamed one (whose quiet
// runs take `selected_field` as the streamed run does).
SearchSource object_search_source(Object& source, const SimplifyOptions& options);
SearchSource streamed_search_source(const StreamedMesh& mesh, const SimplifyOptions& options,
                                    int selected_field);

// A quiet run: the messages of `run` are dropped.
void without_messages(const std::function<void()>& run);

}  // namespace Tavrin
