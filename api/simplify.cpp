// The library's simplification calls: check the request and the mesh with
// the `tavrin` program's sentences, copy the view into an Object, run the
// program's own driver inside a call scope and hand the result back as
// arrays.

#include <cmath>
#include <memory>
#include <new>

#include "api/call_scope.h"
#include "api/mesh_convert.h"
#include "base/messages.h"
#include "base/timer.h"
#include "hashuc/simp_type.h"
#include "octree/simplify_octree.h"
#include "simplify/driver.h"
#include "simplify/search_sources.h"
#include "simplify/stream_simplify.h"

namespace tavrin {

using Tavrin::format;

const std::vector<std::string>& types() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> v;
    for (int i = 0; i < Tavrin::kSimpTypeCount; ++i)
      v.emplace_back(Tavrin::simp_type_keyword(static_cast<Tavrin::simp_type>(i)));
    return v;
  }();
  return names;
}

namespace {

// The reason a request cannot run, or "".
std::string check_request(const SimplifyRequest& r) {
  if (!Tavrin::is_simp_type_keyword(r.type.c_str()))
    return format("Unknown simplification type '%s'.", r.type.c_str());
  const int asked = (r.grid != 0) + r.triangles.has_value() + r.max_error.has_value();
  if (asked > 1) return "Give one of grid, triangles and max_error, not several.";
  if (r.triangles && (*r.triangles < 1 || *r.triangles > 2147483647))
    return format(
        "Invalid triangle budget '%lld': give a whole number of triangles from 1 to 2147483647.",
        static_cast<long long>(*r.triangles));
  if (r.max_error && !(std::isfinite(*r.max_error) && *r.max_error > 0))
    return format(
        "Invalid error bound '%g': give a finite number above 0, a fraction of the bounding-box "
        "diagonal.",
        *r.max_error);
  if (asked == 1 && r.grid == 0) return {};
  if (r.grid < 1)
    return format("Invalid grid size '%lld': give a whole number of cells per axis from 1 to %lld.",
                  static_cast<long long>(r.grid), static_cast<long long>(max_grid));
  if (r.grid > max_grid)
    return format("Grid size %lld is too large: at most %lld cells per axis are supported.",
                  static_cast<long long>(r.grid), static_cast<long long>(max_grid));
  if (!std::isfinite(r.load_factor) || r.load_factor < 0.0f)
    return format("Invalid load factor '%g': give a finite number of 0 or more.",
                  static_cast<double>(r.load_factor));
  return {};
}

void count_input(const MeshView& mesh, RunReport& report) {
  report.input_nodes = mesh.node_count;
  report.input_triangles = mesh.triangle_count;
}

void count_output(const Mesh& mesh, RunReport& report) {
  report.nodes = mesh.node_count();
  report.triangles = mesh.triangle_count();
  report.lines = mesh.line_count();
}

const char* const kNoMesh = "The simplification produced no mesh.";
const char* const kNoMemory = "Not enough memory to simplify the mesh.";

void simplify_in_scope(const MeshView& mesh, const SimplifyRequest& request, Result& out) {
  std::unique_ptr<Tavrin::Object> source = detail::object_from_view(mesh);
  const Tavrin::simp_type type = Tavrin::parse_simp_type(request.type.c_str());
  Tavrin::SimplifyOptions options{static_cast<int32_t>(request.grid), type, request.load_factor};
  if (request.grid == 0) {
    Tavrin::GridRequest wanted;
    if (request.triangles) {
      wanted.triangles = *request.triangles;
    } else {
      wanted.kind = Tavrin::GridRequest::Kind::MaxError;
      wanted.max_error = *request.max_error;
    }
    // The key counts are exact for every type whose output nodes are its cells.
    const std::optional<int32_t> grid = Tavrin::choose_grid(
        wanted, Tavrin::object_search_source(*source, options), Tavrin::stream_covers(type));
    if (!grid) {
      out.error = "The grid search failed.";
      return;
    }
    options.grid_size = *grid;
  }
  out.report.grid = options.grid_size;
  Tavrin::RunFigures figures;
  std::unique_ptr<Tavrin::Object> result = Tavrin::simplify_object(source.get(), options, &figures);
  RunReport& r = out.report;
  r.seconds = figures.total;
  r.seconds_simplify = figures.simplify;
  r.seconds_interpolate = figures.interpolate;
  r.table_bytes = figures.memory_bytes;
  const Tavrin::PhaseTimes& p = figures.phases;
  r.phases = PhaseTimes{p.create,  p.submit, p.optimal,     p.simplify,
                        p.normals, p.clear,  p.interpolate, p.destroy};
  r.error_max = figures.error.max;
  r.error_rms = figures.error.rms;
  r.error_measured = figures.error.measured;
  if (!result) {
    out.error = kNoMesh;
    return;
  }
  out.mesh = detail::mesh_from_object(*result);
  count_output(out.mesh, r);
}

}  // namespace

Result simplify(const MeshView& mesh, const SimplifyRequest& request) {
  Result out;
  count_input(mesh, out.report);
  out.error = check_request(request);
  if (out.error.empty()) out.error = check_mesh(mesh);
  if (out.error.empty() && (mesh.node_count == 0 || mesh.triangle_count == 0))
    out.error = "The mesh has no triangles to simplify.";
  if (!out.error.empty()) return out;

  detail::CallScope scope(request.threads, request.messages,
                          static_cast<int64_t>(mesh.triangle_count));
  // Running out of memory is a failed call, never an exception to the caller.
  try {
    simplify_in_scope(mesh, request, out);
  } catch (const std::bad_alloc&) {
    out = Result{};
    count_input(mesh, out.report);
    out.error = kNoMemory;
  }
  return out;
}

Result simplify_octree(const MeshView& mesh, float max_error, int threads,
                       const MessageSink& messages) {
  Result out;
  count_input(mesh, out.report);
  if (!std::isfinite(max_error) || max_error < 0.0f)
    out.error = format("Invalid maximum error '%g': give a finite number of 0 or more.",
                       static_cast<double>(max_error));
  if (out.error.empty()) out.error = check_mesh(mesh);
  if (out.error.empty() && (mesh.node_count == 0 || mesh.triangle_count == 0))
    out.error = "The mesh has no triangles to simplify.";
  if (!out.error.empty()) return out;

  detail::CallScope scope(threads, messages, static_cast<int64_t>(mesh.triangle_count));
  try {
    std::unique_ptr<Tavrin::Object> source = detail::object_from_view(mesh);
    Tavrin::Timer timer;
    std::unique_ptr<Tavrin::Object> result = Tavrin::simplify_octree(*source, max_error);
    out.report.seconds = out.report.seconds_simplify = timer.elapsed();
    if (!result) {
      out.error = kNoMesh;
      return out;
    }
    out.mesh = detail::mesh_from_object(*result);
    count_output(out.mesh, out.report);
  } catch (const std::bad_alloc&) {
    out = Result{};
    count_input(mesh, out.report);
    out.error = kNoMemory;
  }
  return out;
}

}  // namespace tavrin
