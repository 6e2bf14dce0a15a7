// The batch run: read one PLY file, simplify it once, write the GiD pair.
#pragma once

namespace Tavrin {

// Grid sizes above this make 64-bit cell keys lose cells at the float
// resolution of the unit cube.
constexpr unsigned kMaxGridSize = 1048576;

// Which road reads and simplifies the mesh: Automatic streams a binary PLY
// file of a streamable type when the in-memory road would need more than the
// memory budget (StreamSettings), Streamed always streams (and refuses what
// it cannot stream), InMemory never streams.
enum class BatchRoad { Automatic, InMemory, Streamed };

struct StreamSettings;

// argv[1] file, argv[2] simp_type, argv[3] grid size, argv[4] optional load
// factor (argc 4 or 5); or argv[3] --triangles or --max-error, argv[4] its
// value and argv[5] an optional load factor (argc 5 or 6). Returns the exit status: 0 when the
// files were written, non-zero after any failure (each failure prints one line first). `stream`
// overrides the settings of the environment.
int batch_run(int argc, char** argv, BatchRoad road = BatchRoad::Automatic,
              const StreamSettings* stream = nullptr);

}  // namespace Tavrin
