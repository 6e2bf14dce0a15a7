// The extended quadric of a triangle in the space of position and values,
// its solve per cell, and the value passes of the scalar-aware handlers.
// A triangle spans a plane in that space with the orthonormal directions
// e1, e2 (Gram-Schmidt on its edges); the squared distance of v from that
// plane is v^T A v + 2 b^T v + c with A = I - e1 e1^T - e2 e2^T. The
// quadric is not weighted by area, so the values pull as hard as the
// geometry in small triangles too.

#include "hashuc/hash_uc_scalar.h"

#include <cmath>

namespace Tavrin {

namespace {

// Scales v to unit length unless its squared length is 0 or exactly 1.
template <int N>
void unitLength(float (&v)[N]) {
  float len2 = 0.0f;
  for (int i = 0; i < N; ++i) len2 += v[i] * v[i];
  if (len2 == 0.0f || len2 == 1.0f) return;
  const float len = std::sqrt(len2);
  for (int i = 0; i < N; ++i) v[i] /= len;
}

template <int N>
float dotN(const float (&a)[N], const float (&b)[N]) {
  float s = 0.0f;
  for (int i = 0; i < N; ++i) s += a[i] * b[i];
  return s;
}

}  // namespace

template <int M>
typename ScalarQefPolicy<M>::Terms ScalarQefPolicy<M>::Fold::terms(const TriangleCorners& t) const {
  Terms q;
  for (int j = 0; j < 3; ++j) {
    q.corner[j][0] = t.q[j].x;
    q.corner[j][1] = t.q[j].y;
    q.corner[j][2] = t.q[j].z;
    for (int k = 0; k < M; ++k) q.corner[j][3 + k] = normalisedValue(k, t.node[j]);
  }
  const float(&p0)[kDims] = q.corner[0];
  float e1[kDims], e2[kDims];
  for (int i = 0; i < kDims; ++i) e1[i] = q.corner[2][i] - p0[i];
  unitLength(e1);
  for (int i = 0; i < kDims; ++i) e2[i] = q.corner[1][i] - p0[i];
  const float de = dotN(e2, e1);
  for (int i = 0; i < kDims; ++i) e2[i] = e2[i] - de * e1[i];
  unitLength(e2);

  for (int i = 0; i < kDims; ++i)
    for (int j = i; j < kDims; ++j)
      q.a[upper(i, j)] = (i == j ? 1.0f : 0.0f) - e1[i] * e1[j] - e2[i] * e2[j];
  const float p0e1 = dotN(p0, e1), p0e2 = dotN(p0, e2);
  for (int i = 0; i < kDims; ++i) q.b[i] = p0e1 * e1[i] + p0e2 * e2[i] - p0[i];
  q.c = dotN(p0, p0) - p0e1 * p0e1 - p0e2 * p0e2;
  return q;
}

template <int M>
int ScalarQefPolicy<M>::solve(Record& r, uint64_t key, const ClusterGrid& grid) {
  const int count = static_cast<int>(r.v[Layout::kCount]);
  if (count < 1) return 0;
  constexpr int n = kDims + 1;
  float Q[n * n];
  for (int i = 0; i < kDims; ++i) {
    for (int j = 0; j < kDims; ++j) Q[n * i + j] = r.v[i <= j ? aField(i, j) : aField(j, i)];
    Q[n * i + kDims] = Q[n * kDims + i] = r.v[Layout::kB[i]];
  }
  Q[n * n - 1] = r.v[Layout::kC];
  const float samples = r.v[Layout::kCount];
  float mean[kDims];
  for (int k = 0; k < 3; ++k) mean[k] = r.v[Layout::kPositionSum + k] / samples;
  for (int k = 0; k < M; ++k) mean[3 + k] = r.v[Layout::kValueSum + k] / samples;
  float out[kDims], error = 0.0f;
  const int status = solveExtended(n, Q, mean, count, key, grid, out, &error);
  if (status < 0) return 0;
  r = Record{};
  r.v[0] = static_cast<float>(key);
  r.v[1] = static_cast<float>(status);
  r.v[2] = static_cast<float>(count);
  r.v[3] = error;
  for (int k = 0; k < 3; ++k) r.v[Layout::kPositionSum + k] = out[k];
  for (int k = 0; k < M; ++k) r.v[Layout::kValueSum + k] = out[3 + k];
  return 1;
}

template <int M>
NormalizationBox scalarValueBox(const float* const* values, int64_t node_count) {
  float lo0 = kLargestFloat, lo1 = kLargestFloat, lo2 = kLargestFloat;
  float hi0 = -kLargestFloat, hi1 = -kLargestFloat, hi2 = -kLargestFloat;
  bool any = false;
  // Minimum and maximum are exact: the result does not depend on the threads.
#pragma omp parallel for schedule(static) reduction(min                                         \
                                                    : lo0, lo1, lo2) reduction(max              \
                                                                               : hi0, hi1, hi2) \
    reduction(||                                                                                \
              : any)
  for (int64_t i = 0; i < node_count; ++i) {
    float s[3] = {0.0f, 0.0f, 0.0f};
    bool has_value = true;
    for (int k = 0; k < M; ++k) {
      s[k] = values[k][i];
      if (s[k] == kNoValue) has_value = false;
    }
    if (!has_value) continue;
    any = true;
    lo0 = std::fmin(lo0, s[0]);
    lo1 = std::fmin(lo1, s[1]);
    lo2 = std::fmin(lo2, s[2]);
    hi0 = std::fmax(hi0, s[0]);
    hi1 = std::fmax(hi1, s[1]);
    hi2 = std::fmax(hi2, s[2]);
  }
  Box box;
  if (any) {
    box.min = Vec3(lo0, lo1, lo2);
    box.max = Vec3(hi0, hi1, hi2);
  } else {
    box.min = box.max = Vec3(0.0f, 0.0f, 0.0f);
  }
  NormalizationBox nb;
  nb.compute(box);
  return nb;
}

template <int M>
void ScalarClusterHandler<M>::submitWithValues(const float* coords, int32_t components,
                                               const QefInputs& values, const int32_t* triangles,
                                               int32_t triangle_count, int32_t triangle_stride) {
  if (!this->table_) return;
  typename Policy::Fold fold;
  bool given = values.count >= M;
  for (int k = 0; k < M && given; ++k) given = values.arrays[k] != nullptr;
  if (given) {
    for (int k = 0; k < M; ++k) fold.values[k] = values.arrays[k];
    value_box_ = scalarValueBox<M>(values.arrays, this->node_count_);
  } else {
    const float* none[3] = {nullptr, nullptr, nullptr};
    value_box_ = scalarValueBox<M>(none, 0);
  }
  fold.value_box = value_box_;
  this->accumulateWith(fold, coords, components, triangles, triangle_count, triangle_stride);
}

template <int M>
void ScalarClusterHandler<M>::outputWithValues(const float* coords, int32_t components,
                                               const int32_t* triangles, int32_t triangle_count,
                                               int32_t triangle_stride, SimplifiedMesh& mesh,
                                               ExtraOutputs& extra) {
  this->output(coords, components, triangles, triangle_count, triangle_stride, mesh);
  if (!this->table_ || mesh.nodes.empty()) return;
  OutputNumbering numbering;
  if (!this->number(numbering)) return;
  std::vector<std::vector<float>> arrays(M);
  const NormalizationBox& vb = value_box_;
  for (int k = 0; k < M; ++k)
    writePerOutputNode(*this->table_, numbering, 1, arrays[k], [&](const auto& rec, float* dst) {
      *dst = rec.v[Policy::Layout::kValueSum + k] * vb.half_extent[k] + vb.centre[k];
    });
  extra.arrays = std::move(arrays);
  extra.flag = 1;
}

template struct ScalarQefPolicy<1>;
template struct ScalarQefPolicy<3>;
template class ScalarClusterHandler<1>;
template class ScalarClusterHandler<3>;
template NormalizationBox scalarValueBox<1>(const float* const*, int64_t);
template NormalizationBox scalarValueBox<3>(const float* const*, int64_t);

}  // namespace Tavrin
