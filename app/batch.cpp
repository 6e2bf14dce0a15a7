#include "app/batch.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "app/globals.h"
#include "app/grid_request.h"
#include "app/stream_run.h"
#include "base/messages.h"
#include "io/ply_reader.h"
#include "mesh/object.h"
#include "simplify/driver.h"
#include "simplify/run_result.h"
#include "simplify/simp_type.h"
#include "simplify/stream_simplify.h"

namespace Tavrin {

int batch_run(int argc, char** argv, BatchRoad road, const StreamSettings* stream) {
  const simp_type type = parse_simp_type(argv[2]);
  if (!is_simp_type_keyword(argv[2]))
    log_message(format("Unknown simplification type '%s': using HASH_UC.\n", argv[2]));

  // A grid size, or a triangle budget or error bound that picks it.
  std::optional<GridRequest> request;
  int32_t grid_size = 0;
  int load_factor_at = 4;
  if (is_grid_request_option(argv[3])) {
    if (argc < 5) {
      log_message(format("Give a value after '%s'.\n", argv[3]));
      return 2;
    }
    request = parse_grid_request(argv[3], argv[4]);
    if (!request) return 2;
    load_factor_at = 5;
  } else {
    std::optional<uint32_t> grid = parse_grid_size(argv[3]);
    if (!grid || *grid == 0) {
      log_message(
          format("Invalid grid size '%s': give a whole number of cells per axis from 1 to %u.\n",
                 argv[3], kMaxGridSize));
      return 2;
    }
    if (*grid > kMaxGridSize) {
      log_message(format("Grid size %u is too large: at most %u cells per axis are supported.\n",
                         *grid, kMaxGridSize));
      return 2;
    }
    grid_size = static_cast<int32_t>(*grid);
  }

  const bool has_load_factor = argc == load_factor_at + 1;
  if (has_load_factor) {
    // The batch run takes no options there: "--x" is not a load factor.
    if (std::strncmp(argv[load_factor_at], "--", 2) == 0) {
      log_message(format("Unknown option '%s'.\n", argv[load_factor_at]));
      return 2;
    }
    std::optional<float> lf = parse_float(argv[load_factor_at]);
    if (!lf || !std::isfinite(*lf) || *lf < 0.0f) {
      log_message(format("Invalid load factor '%s': give a finite number of 0 or more.\n",
                         argv[load_factor_at]));
      return 2;
    }
    load_factor = *lf;
  }

  const std::string file = argv[1];
  const std::string shown = display_name(file);
  std::string how = format("a %d grid", grid_size);
  if (request && request->kind == GridRequest::Kind::Triangles)
    how = format("the grid for at most %lld triangles", static_cast<long long>(request->triangles));
  else if (request)
    how = format("the grid for an error of at most %g", request->max_error);
  if (!has_load_factor)
    log_message(format("%s | Simplifying with %s using %s.\n", shown.c_str(), how.c_str(),
                       simp_type_name(type)));
  else
    log_message(format("%s | Simplifying with %s using %s and a load factor of %g.\n",
                       shown.c_str(), how.c_str(), simp_type_name(type),
                       static_cast<double>(load_factor)));

  log_message(format("Reading %s ...\n", file.c_str()));
  SimplifyOptions options{grid_size, type, load_factor};
  StreamSettings settings;
  if (stream)
    settings = *stream;
  else if (!stream_settings_from_environment(settings))
    return 2;
  const bool streamed =
      road == BatchRoad::Streamed || (road == BatchRoad::Automatic && stream_covers(type) &&
                                      exceeds_memory_budget(file, settings.budget));
  std::unique_ptr<Object> result;
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
    std::unique_ptr<Object> source = load_ply(file);
    if (!source) return 1;
    if (request) {
      const OneThreadForSmallMeshes threads(source->num_triangles());
      const std::optional<int32_t> grid =
          choose_grid(*request, object_search_source(*source, options), counts_exact);
      if (!grid) return 1;
      grid_size = options.grid_size = *grid;
    }
    result = simplify_object(source.get(), options);
  }
  if (!result) {
    log_message("The simplification produced no mesh; nothing was written.\n");
    return 1;
  }

  // The reader refuses names without an extension, so a '.' is always there.
  std::string base = file.substr(0, file.rfind('.')) + format("_simp_%s_%04d", argv[2], grid_size);
  if (result->export_gid(base)) {
    log_message(format("Files '%s.msh' and '%s.res' saved.\n", base.c_str(), base.c_str()));
    if (streamed) log_stream_summary(file, settings);
    return 0;
  }
  // The writer has removed its own temporary files and left any earlier
  // files of these names as they were.
  log_message(format("Problems saving  '%s.msh' and '%s.res'.\n", base.c_str(), base.c_str()));
  return 1;
}

}  // namespace Tavrin
