// The batch command line as a record: `tavrin` and `tavrin-stream` each
// parse their words once into a BatchRequest, and the batch run takes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/grid_request.h"
#include "simplify/stream_file_run.h"

namespace Tavrin {

// Grid sizes above this make 64-bit cell keys lose cells at the float
// resolution of the unit cube.
constexpr unsigned kMaxGridSize = 1048576;

// Which road reads and simplifies the mesh: Automatic streams a binary PLY
// file of a streamable type when the in-memory road would need more than the
// memory budget (StreamSettings), Streamed always streams (and refuses what
// it cannot stream), InMemory never streams.
enum class BatchRoad { Automatic, InMemory, Streamed };

struct BatchRequest {
  std::string file;
  // The type as typed: it names the output files, whatever type it selects.
  std::string type_word;
  // A grid size, or the triangle budget or error bound that picks it once
  // the mesh is read (then grid_size stays 0).
  int32_t grid_size = 0;
  std::optional<GridRequest> grid_request;
  // None when not given: each table takes its own default.
  std::optional<float> load_factor;
  BatchRoad road = BatchRoad::Automatic;
  // None: the run reads them from the environment when it starts.
  std::optional<StreamSettings> stream;
};

// Parses the `count` words after the program's name: FILE TYPE GRID
// [LOAD_FACTOR], where GRID may be "--triangles N" or "--max-error E".
// A wrong number of words prints "Wrong number of arguments (count)." and
// `usage`; a refused grid or load factor prints why; an unknown type says
// HASH_UC is used and goes on. None after any refusal.
std::optional<BatchRequest> parse_batch_request(int count, const char* const* words,
                                                const std::string& usage);

}  // namespace Tavrin
