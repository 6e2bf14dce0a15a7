// What the batch run is asked for in place of a grid size: a triangle budget
// (--triangles N) or an error bound relative to the bounding-box diagonal
// (--max-error E), and how it is turned into a grid once the mesh is read.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace Tavrin {

struct GridRequest {
  enum class Kind { Triangles, MaxError };
  Kind kind = Kind::Triangles;
  int64_t triangles = 0;
  double max_error = 0.0;
};

// Whether the text names one of the two options.
bool is_grid_request_option(const char* text);

// The request of `option` and its value; nullopt after a line saying why
// the value is refused (a budget is a whole number from 1 to 2147483647, a
// bound a finite number above 0).
std::optional<GridRequest> parse_grid_request(const char* option, const char* value);

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
