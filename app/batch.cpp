#include "app/batch.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "app/globals.h"
#include "app/stream_run.h"
#include "base/messages.h"
#include "io/ply_reader.h"
#include "mesh/object.h"
#include "simplify/driver.h"
#include "simplify/simp_type.h"
#include "simplify/stream_simplify.h"

namespace Tavrin {

int batch_run(int argc, char** argv, BatchRoad road, const StreamSettings* stream) {
  const simp_type type = parse_simp_type(argv[2]);
  if (!is_simp_type_keyword(argv[2]))
    log_message(format("Unknown simplification type '%s': using HASH_UC.\n", argv[2]));

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
  const int32_t grid_size = static_cast<int32_t>(*grid);

  if (argc == 5) {
    // The batch run takes no options: "--x" is not a load factor.
    if (std::strncmp(argv[4], "--", 2) == 0) {
      log_message(format("Unknown option '%s'.\n", argv[4]));
      return 2;
    }
    std::optional<float> lf = parse_float(argv[4]);
    if (!lf || !std::isfinite(*lf) || *lf < 0.0f) {
      log_message(
          format("Invalid load factor '%s': give a finite number of 0 or more.\n", argv[4]));
      return 2;
    }
    load_factor = *lf;
  }

  const std::string file = argv[1];
  const std::string shown = display_name(file);
  if (argc == 4)
    log_message(format("%s | Simplifying with a %d grid using %s.\n", shown.c_str(), grid_size,
                       simp_type_name(type)));
  else
    log_message(format("%s | Simplifying with a %d grid using %s and a load factor of %g.\n",
                       shown.c_str(), grid_size, simp_type_name(type),
                       static_cast<double>(load_factor)));

  log_message(format("Reading %s ...\n", file.c_str()));
  const SimplifyOptions options{grid_size, type, load_factor};
  StreamSettings settings;
  if (stream)
    settings = *stream;
  else if (!stream_settings_from_environment(settings))
    return 2;
  const bool streamed =
      road == BatchRoad::Streamed || (road == BatchRoad::Automatic && stream_covers(type) &&
                                      exceeds_memory_budget(file, settings.budget));
  std::unique_ptr<Object> result;
  if (streamed) {
    if (stream_simplify_file(file, options, settings, result) == StreamOutcome::ReadFailed)
      return 1;
  } else {
    std::unique_ptr<Object> source = load_ply(file);
    if (!source) return 1;
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
