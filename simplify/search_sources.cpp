#include "simplify/search_sources.h"

#include "base/messages.h"
#include "mesh/object.h"
#include "simplify/driver.h"
#include "simplify/grid_search.h"
#include "simplify/key_triangle_count.h"
#include "simplify/stream_simplify.h"

namespace Tavrin {

void without_messages(const std::function<void()>& run) {
  MessageSink previous = set_message_sink([](MessageRoute, const std::string&) {});
  run();
  set_message_sink(previous);
}

namespace {

std::optional<double> max_error_of(const ResultError& error) {
  if (!error.measured) return std::nullopt;
  return error.max;
}

}  // namespace

SearchSource object_search_source(Object& source, const SimplifyOptions& options) {
  Object* mesh = source.full ? source.full.get() : &source;
  SearchSource s;
  s.coords = reinterpret_cast<const float*>(mesh->nodes.data());
  s.node_count = mesh->num_nodes();
  s.triangle_count = mesh->num_triangles();
  s.sweep = [mesh](const TriangleBlock& block) {
    return block(reinterpret_cast<const int32_t*>(mesh->triangles.data()), mesh->num_triangles(),
                 4);
  };
  s.error_at = [mesh, options](int32_t grid) {
    SimplifyOptions at = options;
    at.grid_size = grid;
    RunFigures figures;
    without_messages([&] { (void)simplify_object(mesh, at, &figures); });
    return max_error_of(figures.error);
  };
  return s;
}

SearchSource streamed_search_source(const StreamedMesh& mesh, const SimplifyOptions& options,
                                    int selected_field) {
  SearchSource s;
  s.coords = mesh.coords;
  s.node_count = mesh.num_nodes;
  s.triangle_count = mesh.num_triangles;
  s.sweep = [&mesh](const TriangleBlock& block) {
    return mesh.sweep([&](const int32_t* t, int64_t count) { return block(t, count, 3); });
  };
  s.error_at = [&mesh, options, selected_field](int32_t grid) {
    SimplifyOptions at = options;
    at.grid_size = grid;
    ResultError error;
    without_messages([&] { (void)simplify_streamed(mesh, at, selected_field, &error); });
    return max_error_of(error);
  };
  return s;
}

namespace {

std::optional<int64_t> count_at(KeyTriangleCount& count, const SearchSource& source, int32_t grid) {
  if (!count.setGrid(grid)) return std::nullopt;
  bool ok = true;
  const bool swept = source.sweep([&](const int32_t* t, int64_t n, int32_t stride) {
    ok = ok && count.add(t, n, stride);
    return ok;
  });
  if (!swept || !ok) return std::nullopt;
  return count.triangles();
}

}  // namespace

std::optional<int32_t> choose_grid(const GridRequest& request, const SearchSource& source,
                                   bool counts_exact) {
  if (request.kind == GridRequest::Kind::Triangles) {
    KeyTriangleCount counter(source.coords, source.node_count);
    const std::optional<GridChoice> choice =
        search_triangle_budget([&](int32_t grid) { return count_at(counter, source, grid); },
                               request.triangles, source.triangle_count);
    if (!choice) {
      log_message("The triangle budget search failed: nothing was written.\n");
      return std::nullopt;
    }
    const long long budget = request.triangles, count = choice->triangles;
    if (choice->outcome == SearchOutcome::NoneMeets)
      log_message(
          format("The coarsest grid, %d, gives more than %lld triangles: using grid %d, "
                 "the closest above the budget.\n",
                 kCoarsestSearchGrid, budget, choice->grid));
    else if (choice->outcome == SearchOutcome::InputReached)
      log_message(
          format("The budget of %lld triangles is not below the input's %lld: using the "
                 "finest grid searched, %d.\n",
                 budget, static_cast<long long>(source.triangle_count), choice->grid));
    log_message(format("Grid %d gives %lld triangles (asked for at most %lld).\n", choice->grid,
                       count, budget));
    if (!counts_exact)
      log_message(
          "This type splits cells by node normal: the result may have more triangles "
          "than the cells alone give.\n");
    return choice->grid;
  }
  const std::optional<GridChoice> choice =
      search_error_bound([&](int32_t grid) { return source.error_at(grid); }, request.max_error);
  if (!choice) {
    log_message("The error bound search failed: nothing was written.\n");
    return std::nullopt;
  }
  if (choice->outcome == SearchOutcome::NoneMeets)
    log_message(
        format("No grid the search tried up to %d keeps the error within %g: using grid %d.\n",
               kFinestSearchGrid, request.max_error, choice->grid));
  log_message(format("Grid %d gives an error of %g (asked for at most %g).\n", choice->grid,
                     choice->error, request.max_error));
  return choice->grid;
}

}  // namespace Tavrin
