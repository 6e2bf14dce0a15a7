// What every simplification run does once its handler is done, whether the
// mesh was in memory or streamed: the status lines and phase times of the
// run, the values of the fields folded into the quadrics, and the simplified
// object. Also the thread count small meshes run on.
#pragma once

#include <omp.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hashuc/handler_interface.h"
#include "hashuc/simp_type.h"
#include "mesh/object.h"

namespace Tavrin {

// Below this many triangles a run takes a few milliseconds on one thread,
// while every parallel region costs a fork and barriers; on a machine whose
// cores are busy with other work a descheduled partner thread turns each
// barrier into a wait of a scheduler slice. Results do not depend on the
// thread count, so small meshes simply run on one: for the life of this
// object the parallel regions the calling thread starts use one thread when
// the mesh has fewer triangles than that.
constexpr int64_t kOneThreadTriangles = 16384;

class OneThreadForSmallMeshes {
 public:
  explicit OneThreadForSmallMeshes(int64_t triangles) : previous_(omp_get_max_threads()) {
    if (triangles < kOneThreadTriangles) omp_set_num_threads(1);
  }
  ~OneThreadForSmallMeshes() { omp_set_num_threads(previous_); }
  OneThreadForSmallMeshes(const OneThreadForSmallMeshes&) = delete;
  OneThreadForSmallMeshes& operator=(const OneThreadForSmallMeshes&) = delete;

 private:
  int previous_;
};

// The per-node inputs a scalar type folds into its quadrics, chosen from
// the field names and the selected field (-1 none), with the run's messages
// when `say`. HASH_UC_SCALAR takes the first field when none is selected.
// Any other type carries a selected field along (count 1) unless it folds in
// the node normals or a vector of three fields (count 3).
struct InputChoice {
  int fields[3] = {-1, -1, -1};
  int count = 0;
  bool normals = false;
  int selected = -1;  // the field shown as the result's scalar
};
InputChoice choose_folded_inputs(const std::vector<std::string>& names, int selected,
                                 simp_type type, bool say);

// The status line of a run's start.
void report_run_start(simp_type type);

// The status lines of a finished run and its phase times.
void report_run(simp_type type, int32_t grid_size, const SimplifiedMesh& mesh, float t_total,
                float t_simp, float t_interp, uint64_t memory_bytes, const PhaseTimes& phases);

// Fields folded into the quadrics take the values at the optimal points:
// field `folded[k]` of `values` gets extra.arrays[k] (HASH_UC_SCALAR one
// field, HASH_UC_SCALAR3_VECTOR three; -1 for none).
void take_folded_values(simp_type type, ExtraOutputs& extra, const int folded[3],
                        int32_t output_nodes, std::vector<std::vector<float>>& values);

// The simplified object, or none when the run gave no node or no element;
// a field whose averaging produced nothing gets -1000 on every node. Says
// "Simplification done." when there is an object.
std::unique_ptr<Object> build_result_object(const SimplifiedMesh& mesh,
                                            std::vector<std::vector<float>>& values,
                                            const std::vector<std::string>& names);

}  // namespace Tavrin
