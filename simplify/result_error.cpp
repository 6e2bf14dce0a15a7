#include "simplify/result_error.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/messages.h"

namespace Tavrin {

namespace {

struct Point {
  double x, y, z;
};

Point point_at(const float* p) {
  return {static_cast<double>(p[0]), static_cast<double>(p[1]), static_cast<double>(p[2])};
}

Point operator-(const Point& a, const Point& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

double dot(const Point& a, const Point& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Point cross(const Point& a, const Point& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

}  // namespace

bool measures_planes(simp_type type) { return type != HASH_UC_ACC; }

ResultErrorMeasure::ResultErrorMeasure(const float* coords, int64_t node_count,
                                       std::vector<int32_t> output_of_node,
                                       const std::vector<float>& output_nodes)
    : coords_(coords),
      node_count_(node_count),
      output_of_node_(std::move(output_of_node)),
      output_nodes_(output_nodes) {
  const size_t outputs = output_nodes_.size() / 3;
  sum_.assign(outputs, 0.0);
  count_.assign(outputs, 0);
  if (node_count_ <= 0) return;
  Point lo = point_at(coords_), hi = lo;
  for (int64_t i = 1; i < node_count_; ++i) {
    const Point p = point_at(coords_ + 3 * i);
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  const Point d = hi - lo;
  diagonal_ = std::sqrt(dot(d, d));
}

void ResultErrorMeasure::addTriangles(const int32_t* triangles, int64_t count, int32_t stride) {
  // The distances of a chunk are worked out in parallel, then summed into
  // their cells in triangle order by one thread: the same sums for any
  // thread count.
  constexpr int64_t kChunk = int64_t{1} << 18;
  const int64_t outputs = static_cast<int64_t>(sum_.size());
  struct Corner {
    int32_t output[3];
    double squared[3];
  };
  std::vector<Corner> chunk(static_cast<size_t>(std::min(count, kChunk)));
  for (int64_t first = 0; first < count; first += kChunk) {
    const int64_t m = std::min(kChunk, count - first);
#pragma omp parallel for schedule(static)
    for (int64_t k = 0; k < m; ++k) {
      Corner& out = chunk[k];
      out.output[0] = out.output[1] = out.output[2] = -1;
      const int32_t* c = triangles + (first + k) * stride;
      if (c[0] < 0 || c[1] < 0 || c[2] < 0 || c[0] >= node_count_ || c[1] >= node_count_ ||
          c[2] >= node_count_)
        continue;
      const Point p0 = point_at(coords_ + 3 * static_cast<int64_t>(c[0]));
      const Point n = cross(point_at(coords_ + 3 * static_cast<int64_t>(c[1])) - p0,
                            point_at(coords_ + 3 * static_cast<int64_t>(c[2])) - p0);
      const double length = std::sqrt(dot(n, n));
      if (!(length > 0.0)) continue;
      const int32_t o[3] = {output_of_node_[c[0]], output_of_node_[c[1]], output_of_node_[c[2]]};
      for (int j = 0; j < 3; ++j) {
        if (o[j] < 0 || o[j] >= outputs || (j > 0 && o[j] == o[0]) || (j > 1 && o[j] == o[1]))
          continue;
        const double d =
            dot(n, point_at(output_nodes_.data() + 3 * static_cast<int64_t>(o[j])) - p0) / length;
        out.output[j] = o[j];
        out.squared[j] = d * d;
      }
    }
    for (int64_t k = 0; k < m; ++k)
      for (int j = 0; j < 3; ++j) {
        const int32_t o = chunk[k].output[j];
        if (o < 0) continue;
        sum_[o] += chunk[k].squared[j];
        count_[o] += 1;
      }
  }
}

void ResultErrorMeasure::addNodes() {
  const int64_t outputs = static_cast<int64_t>(sum_.size());
  for (int64_t i = 0; i < node_count_; ++i) {
    const int32_t o = output_of_node_[i];
    if (o < 0 || o >= outputs) continue;
    const Point d =
        point_at(output_nodes_.data() + 3 * static_cast<int64_t>(o)) - point_at(coords_ + 3 * i);
    sum_[o] += dot(d, d);
    count_[o] += 1;
  }
}

ResultError ResultErrorMeasure::finish() const {
  ResultError e;
  e.measured = true;
  double squares = 0.0;
  for (size_t o = 0; o < sum_.size(); ++o) {
    if (count_[o] == 0) continue;
    const double mean = sum_[o] / static_cast<double>(count_[o]);
    e.max = std::max(e.max, std::sqrt(mean));
    squares += mean;
    ++e.cells;
  }
  if (e.cells > 0) e.rms = std::sqrt(squares / static_cast<double>(e.cells));
  if (diagonal_ > 0.0) {
    e.max /= diagonal_;
    e.rms /= diagonal_;
  } else {
    e.max = e.rms = 0.0;
  }
  return e;
}

ResultError measure_result_error(HandlerInterface* handler, const float* coords, int64_t node_count,
                                 const int32_t* triangles, int64_t triangle_count, int32_t stride,
                                 const SimplifiedMesh& mesh) {
  std::vector<int32_t> output_of_node;
  if (!handler || mesh.nodeCount() == 0 || !handler->outputNodeOfNodes(output_of_node) ||
      static_cast<int64_t>(output_of_node.size()) != node_count)
    return {};
  ResultErrorMeasure measure(coords, node_count, std::move(output_of_node), mesh.nodes);
  if (measures_planes(handler->type()))
    measure.addTriangles(triangles, triangle_count, stride == 0 ? 3 : stride);
  else
    measure.addNodes();
  return measure.finish();
}

std::string result_error_line(const ResultError& error) {
  return format("Error: max %g, rms %g of the diagonal.\n", error.max, error.rms);
}

}  // namespace Tavrin
