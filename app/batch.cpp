#include "app/batch.h"

#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "app/command_line.h"
#include "app/grid_request.h"
#include "app/one_line_save.h"
#include "app/stream_run.h"
#include "base/memory_check.h"
#include "base/messages.h"
#include "hashuc/simp_type.h"
#include "io/gid_writer.h"
#include "io/ply_reader.h"
#include "mesh/object.h"
#include "simplify/driver.h"
#include "simplify/no_mesh_report.h"
#include "simplify/run_result.h"
#include "simplify/stream_simplify.h"

namespace Tavrin {

namespace {

int simplify_and_save(const std::string& file, SimplifyOptions options,
                      const std::optional<GridRequest>& request, const char* type_word,
                      BatchRoad road, const StreamSettings& settings, std::string& doing);

}  // namespace

int batch_run(const BatchRequest& request) {
  const simp_type type = parse_simp_type(request.type_word.c_str());
  const std::optional<GridRequest>& grid_request = request.grid_request;
  const std::string& file = request.file;
  const std::string shown = display_name(file);
  std::string how = format("a %d grid", request.grid_size);
  if (grid_request && grid_request->kind == GridRequest::Kind::Triangles)
    how = format("the grid for at most %lld triangles",
                 static_cast<long long>(grid_request->triangles));
  else if (grid_request)
    how = format("the grid for an error of at most %g", grid_request->max_error);
  if (!request.load_factor)
    log_message(format("%s | Simplifying with %s using %s.\n", shown.c_str(), how.c_str(),
                       simp_type_name(type)));
  else
    log_message(format("%s | Simplifying with %s using %s and a load factor of %g.\n",
                       shown.c_str(), how.c_str(), simp_type_name(type),
                       static_cast<double>(*request.load_factor)));

  log_message(format("Reading %s ...\n", file.c_str()));
  // 0: each table's own default.
  SimplifyOptions options{request.grid_size, type, request.load_factor.value_or(0.0f)};
  StreamSettings settings;
  if (request.stream)
    settings = *request.stream;
  else if (!stream_settings_from_environment(settings))
    return 2;
  // Running out of memory anywhere on the main thread ends here: what was
  // built so far is freed on the way, temporary output files included.
  std::string doing = format("read '%s'", shown.c_str());
  forget_failed_allocation();
  try {
    return simplify_and_save(file, options, grid_request, request.type_word.c_str(), request.road,
                             settings, doing);
  } catch (const std::bad_alloc&) {
    report_no_memory(doing, last_failed_allocation());
    return 1;
  }
}

namespace {

int simplify_and_save(const std::string& file, SimplifyOptions options,
                      const std::optional<GridRequest>& request, const char* type_word,
                      BatchRoad road, const StreamSettings& settings, std::string& doing) {
  const simp_type type = options.type;
  int32_t grid_size = options.grid_size;
  const bool streamed =
      road == BatchRoad::Streamed || (road == BatchRoad::Automatic && stream_covers(type) &&
                                      exceeds_memory_budget(file, settings.budget));
  std::unique_ptr<Object> result;
  std::unique_ptr<Object> source;
  // The key counts are exact for every type whose output nodes are its cells.
  const bool counts_exact = stream_covers(type);
  if (streamed) {
    StreamGridChooser choose;
    if (request)
      choose = [&](const StreamedMesh& mesh, int selected) {
        const OneThreadForSmallMeshes threads(mesh.num_triangles);
        const std::optional<int32_t> grid =
            choose_grid(*request, streamed_search_source(mesh, options, selected), counts_exact);
        if (grid) grid_size = *grid;
        return grid;
      };
    if (stream_simplify_file(file, options, settings, result, choose) == StreamOutcome::ReadFailed)
      return 1;
    if (request && grid_size == 0) return 1;
  } else {
    source = load_ply(file);
    if (!source) return 1;
    doing = format("simplify '%s'", display_name(file).c_str());
    if (request) {
      const OneThreadForSmallMeshes threads(source->num_triangles());
      const std::optional<int32_t> grid =
          choose_grid(*request, object_search_source(*source, options), counts_exact);
      if (!grid) return 1;
      grid_size = options.grid_size = *grid;
    }
    result = simplify_object(source.get(), options);
  }
  if (!result && last_failed_allocation() != 0) {
    // A table or array the run could not do without was refused.
    report_no_memory(format("simplify '%s'", display_name(file).c_str()), last_failed_allocation());
    return 1;
  }
  if (!result) {
    // Both roads say why when the nodes' box cannot be cut into cells.
    report_no_mesh(streamed ? nullptr : source.get(), file);
    return 1;
  }
  source.reset();

  // The reader refuses names without an extension, so a '.' is always there.
  std::string base =
      file.substr(0, file.rfind('.')) + format("_simp_%s_%04d", type_word, grid_size);
  doing = format("save '%s.msh'", base.c_str());
  // A failed writer has removed its own temporary files and left any earlier
  // files of these names as they were.
  if (!save_in_one_line(
          [&] { return export_gid(*result, base); },
          format("Problems saving  '%s.msh' and '%s.res'", base.c_str(), base.c_str())))
    return 1;
  log_message(format("Files '%s.msh' and '%s.res' saved.\n", base.c_str(), base.c_str()));
  if (streamed) log_stream_summary(file, settings);
  return 0;
}

}  // namespace

}  // namespace Tavrin
