#include "app/batch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/grid_request.h"
#include "app/one_line_save.h"
#include "app/stream_run.h"
#include "base/memory_check.h"
#include "base/messages.h"
#include "hashuc/grid.h"
#include "hashuc/simp_type.h"
#include "io/gid_writer.h"
#include "io/ply_block_reader.h"
#include "io/ply_reader.h"
#include "mesh/object.h"
#include "simplify/driver.h"
#include "simplify/run_result.h"
#include "simplify/stream_simplify.h"

namespace Tavrin {

namespace {

// Whether the cells can be laid over the nodes: the cube around them, its
// centre and the scale into [-1, 1] are finite floats (a box spanning more
// than the float range, or nodes closer than the smallest float steps, give
// infinities there and every node lands in one cell).
bool usable_box(const Box& box) {
  NormalizationBox nb;
  nb.compute(box);
  for (int k = 0; k < 3; ++k)
    if (!std::isfinite(nb.centre[k]) || !std::isfinite(nb.half_extent[k]) ||
        !std::isfinite(nb.inverse_half_extent[k]))
      return false;
  return true;
}

// The nodes' bounding box of a file the streamed road took, read in blocks
// (the reader has refused non-finite coordinates); none when it cannot be
// read or has no nodes.
std::optional<Box> streamed_bounds(const std::string& file) {
  PlyBlockReader reader;
  if (!reader.open(file) || !reader.is_streamable() || reader.num_nodes() == 0) return {};
  constexpr int64_t kBlock = 65536;
  std::vector<float> xyz(3 * kBlock);
  Box box;
  for (int64_t first = 0; first < reader.num_nodes(); first += kBlock) {
    const int64_t count = std::min(kBlock, reader.num_nodes() - first);
    if (!reader.read_vertices(first, count, xyz.data(), nullptr)) return {};
    for (int64_t i = 0; i < count; ++i)
      for (int k = 0; k < 3; ++k) {
        box.min[k] = std::min(box.min[k], xyz[3 * i + k]);
        box.max[k] = std::max(box.max[k], xyz[3 * i + k]);
      }
  }
  return box;
}

int simplify_and_save(const std::string& file, SimplifyOptions options,
                      const std::optional<GridRequest>& request, const char* type_word,
                      BatchRoad road, const StreamSettings& settings, std::string& doing);

}  // namespace

int batch_run(int argc, char** argv, BatchRoad road, const StreamSettings* stream) {
  const simp_type type = parse_simp_type(argv[2]);
  if (!is_simp_type_keyword(argv[2]))
    log_message(format("Unknown simplification type '%s': using HASH_UC.\n", argv[2]));

  // A grid size, or a triangle budget or error bound that picks it.
  std::optional<GridRequest> request;
  int32_t grid_size = 0;
  int load_factor_at = 4;
  float load_factor = 0.0f;  // 0: each table's own default
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
  // Running out of memory anywhere on the main thread ends here: what was
  // built so far is freed on the way, temporary output files included.
  std::string doing = format("read '%s'", shown.c_str());
  forget_failed_allocation();
  try {
    return simplify_and_save(file, options, request, argv[2], road, settings, doing);
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
    std::optional<Box> box;
    if (source && !source->nodes.empty())
      box = source->box();
    else if (streamed)
      box = streamed_bounds(file);
    if (box && !usable_box(*box))
      log_message(
          format("The simplification produced no mesh: the bounding box of the nodes, "
                 "from (%g, %g, %g) to (%g, %g, %g), cannot be divided into cells; "
                 "nothing was written.\n",
                 box->min.x, box->min.y, box->min.z, box->max.x, box->max.y, box->max.z));
    else
      log_message("The simplification produced no mesh; nothing was written.\n");
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
