// simplify_octree: the octree simplifier's driver. The nodes are
// mapped into the normalised cube for the whole run (errors and max_error
// are in those units), the octree is built on the first run and kept in the
// object, the mesh is decimated with the given maximum error, the original
// object receives the per-node error fields, and the result is mapped back to
// object coordinates. The original node array and box are always restored.

#include "octree/simplify_octree.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "base/group_digits.h"
#include "base/messages.h"
#include "base/timer.h"
#include "hashuc/grid.h"
#include "mesh/object.h"
#include "octree/decimate.h"
#include "octree/octree.h"

namespace Tavrin {

namespace {

constexpr size_t kMessageCapacity = 1024;
constexpr int kProgressId = 1;

// Swaps the normalised nodes in for the run and the original ones back on
// every way out, together with the original bounding box.
class NormalisedNodes {
 public:
  NormalisedNodes(Object& object, std::vector<Vec3>& normalised)
      : object_(object), box_min_(object.bbox_min), box_max_(object.bbox_max) {
    object_.nodes.swap(normalised);
    original_ = &normalised;
    object_.update_bbox();
  }
  ~NormalisedNodes() {
    object_.nodes.swap(*original_);
    object_.bbox_min = box_min_;
    object_.bbox_max = box_max_;
  }
  NormalisedNodes(const NormalisedNodes&) = delete;
  NormalisedNodes& operator=(const NormalisedNodes&) = delete;

 private:
  Object& object_;
  std::vector<Vec3>* original_ = nullptr;
  Vec3 box_min_, box_max_;
};

std::string breakdown_text(const OctreeBuildTimes& b, const OctreeDecimationTimes& d) {
  const double data_level = b.keys + b.tables;
  std::string text = format("create data level: %.6g\n", data_level);
  if (b.keys != 0.0 || b.tables != 0.0) {
    text += format("     + data keys : %.6g\n", b.keys);
    text += format("     + data grid : %.6g\n", b.tables);
  }
  text += format("create quadratic : %.6g\n", b.quadrics);
  text += format("find best pos    : %.6g\n", b.solve);
  text += format("create hash nnl  : %.6g\n", d.clusters);
  text += format("create new elems : %.6g\n", d.elements);
  text += format("create rest new  : %.6g\n", d.rest);
  const double total = data_level + b.quadrics + b.solve + d.clusters + d.elements + d.rest;
  text += format("TOTAL            : %.6g\n", total);
  return text;
}

void progress(const std::string& text) { status_line(group_digits_text(text, kMessageCapacity)); }

}  // namespace

std::unique_ptr<Object> simplify_octree(Object& object, float max_error) {
  if (object.full) return simplify_octree(*object.full, max_error);
  Timer total;
  OctreeBuildTimes build_times;
  OctreeDecimationTimes decimation_times;

  if (object.nodes.empty()) {
    log_message("Octree: the mesh has no nodes; nothing to simplify.\n");
    return nullptr;
  }

  // Normalised copy of the nodes.
  const int64_t N = static_cast<int64_t>(object.nodes.size());
  const Box source_box = boundingBox(reinterpret_cast<const float*>(object.nodes.data()), N, 3);
  NormalizationBox nb;
  nb.compute(source_box);
  std::vector<Vec3> swapped(object.nodes.size());
  {
    Vec3* out = swapped.data();
    const Vec3* in = object.nodes.data();
#pragma omp parallel for schedule(static)
    for (int64_t i = 0; i < N; ++i) out[i] = nb.normalise(in[i]);
  }
  NormalisedNodes guard(object, swapped);

  progress(format("Octree:%d initialization ...", kProgressId));

  double ini = 0.0, p1 = 0.0;
  Octree* octree = dynamic_cast<Octree*>(object.octree_cache.get());
  if (!octree || !octree->matches(object.num_nodes(), object.num_triangles(), source_box)) {
    Timer phase;
    auto fresh = std::make_unique<Octree>();
    ini = phase.elapsed();
    phase.start();
    progress(format("Octree:%d creating ...", kProgressId));
    // A failed build leaves the object and any earlier octree as they were.
    if (!fresh->build(object.nodes, object.triangles, build_times)) return nullptr;
    fresh->remember_source(object.num_nodes(), object.num_triangles(), source_box);
    p1 = phase.elapsed();
    object.octree_cache = std::move(fresh);
    octree = static_cast<Octree*>(object.octree_cache.get());
  }
  const double hc = 0.0;  // nothing runs between the build and the decimation
  Timer p3_timer;
  progress(format("Octree:%d Decimate mesh ...", kProgressId));
  OctreeDecimation result;
  decimate_octree(*octree, max_error, object.nodes, object.triangles, result, decimation_times);
  const double p3 = p3_timer.elapsed();
  const int32_t nv = static_cast<int32_t>(result.vertices.size());
  const int32_t nt = static_cast<int32_t>(result.triangles.size());
  const int32_t nl = static_cast<int32_t>(result.lines.size());
  progress(format("v: %d t: %d l: %d in i: %.6g + p1: %.6g + p2: %.6g + p3: %.6g = %.6g s.", nv, nt,
                  nl, ini, p1, hc, p3, static_cast<double>(total.elapsed())));

  // Error fields of the original object, in normalised units.
  Scalar error_qef{"error qef", std::vector<float>(object.nodes.size()), max_error};
  Scalar error_dist{"error dist", std::vector<float>(object.nodes.size()), max_error};
  {
    const OctreeCluster* clusters = result.node_clusters.data();
    float* qef = error_qef.values.data();
    float* dist = error_dist.values.data();
    const Vec3* p = object.nodes.data();
#pragma omp parallel for schedule(static)
    for (int64_t i = 0; i < N; ++i) {
      const QefRecord& r = octree->record(clusters[i]);
      const Vec3 d = p[i] - Vec3(r.v[10], r.v[11], r.v[12]);
      qef[i] = r.v[13];
      dist[i] = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    }
  }
  object.append_scalar(std::move(error_qef));
  object.append_scalar(std::move(error_dist));

  {
    Vec3* v = result.vertices.data();
#pragma omp parallel for schedule(static)
    for (int32_t j = 0; j < nv; ++j) v[j] = nb.denormalise(v[j]);
  }

  const double elapsed = total.elapsed();
  const std::string summary = group_digits_text(
      format("Max error = %.6g - v: %d t: %d l: %d\n + ini: %.6g\n + p1: %.6g\n + hc: %.6g\n"
             " + p2: %.6g\n + p3: %.6g\n = %.6g s.",
             static_cast<double>(max_error), nv, nt, nl, ini, p1, hc, 0.0, p3, elapsed),
      kMessageCapacity);
  status_line(summary);
  message_box(summary);
  log_message("\n");

  const std::string breakdown = breakdown_text(build_times, decimation_times);
  message_box(breakdown);
  log_message(breakdown);

  // The maximum error is a quadric residual, whose useful range is hard to
  // guess; say when it left no choice. Above the largest error of the
  // coarsest level every vertex takes its coarsest cell; below the smallest
  // error that is not 0 only cells of error 0 merge, so the result is the
  // most detailed one and smaller values change nothing.
  float coarsest_largest = 0.0f, smallest = 0.0f;
  for (int L = 0; L < Octree::kLevels; ++L) {
    const auto [lo, hi] = octree->error_range(L);
    if (L == 0) coarsest_largest = hi;
    if (lo > 0.0f && (smallest == 0.0f || lo < smallest)) smallest = lo;
  }
  if (max_error >= coarsest_largest)
    log_message(
        format("Maximum error %g is at or above the error of every cell of the coarsest "
               "level (at most %g): that level, %d cells per axis, was used everywhere.\n",
               static_cast<double>(max_error), static_cast<double>(coarsest_largest),
               Octree::kCoarsestCells));
  else if (max_error < smallest)
    log_message(
        format("Maximum error %g is below the error of every cell (at least %g, cells of "
               "error 0 aside): the result is the most detailed one, down to %d cells "
               "per axis.\n",
               static_cast<double>(max_error), static_cast<double>(smallest),
               Octree::kCoarsestCells << (Octree::kLevels - 1)));

  log_message(format("Octree memory footprint = %.6g MB\n",
                     static_cast<double>(octree->memory_bytes()) / 1048576.0));

  if (nv < 1 || (nt < 1 && nl < 1)) return nullptr;
  auto simplified = std::make_unique<Object>();
  simplified->build_from_records(nv, nl, nt, result.vertices.data(), result.lines.data(),
                                 result.triangles.data());
  return simplified;
}

}  // namespace Tavrin
