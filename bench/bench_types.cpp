// Times all eleven clustering types on one big mesh (the small dragon refined
// four times, about 12 million triangles) at one grid size and thread count,
// and prints one table: phase times, output counts, the handler's memory
// report, the peak resident size during the run and each type's time as a
// ratio to HASH_UC measured in the same run (the ratio survives a noisy,
// shared machine; the absolute times do not) and the CPU time of the run. A trivial pass over the
// triangles is timed as well, as a floor. Each type runs `repeats` times,
// rounds interleaved, and the fastest run counts.
//
// The scalar types get the node coordinates as their values (x for one
// value, x y z for three), so that they do the work of a real run.
//
// Usage: bench_types [grid] [threads] [repeats] [mesh.ply] [refinements] [TYPE]
// With TYPE (a keyword such as HASH_UC_ACC) only that type runs, for profiling.

#include <omp.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "base/messages.h"
#include "bench/big_mesh.h"
#include "hashuc/handler_factory.h"
#include "hashuc/simp_type.h"

using namespace Tavrin;

namespace {

// Peak resident size since the last reset, in MB (VmHWM; reset by writing 5
// to clear_refs, which Linux allows for the process itself).
void reset_peak_rss() {
  std::ofstream f("/proc/self/clear_refs");
  f << "5";
}
double peak_rss_mb() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  return 0.0;
}

// CPU seconds of all threads so far; on a shared machine it moves less with
// the load than the wall clock does.
double cpu_seconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + 1e-6 * (u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

struct Run {
  double t_simp = 1e30;
  double cpu = 1e30;
  PhaseTimes phases;
  int32_t nodes = 0, triangles = 0, lines = 0;
  uint64_t memory = 0;
  double peak_mb = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const int32_t grid = argc > 1 ? std::atoi(argv[1]) : 256;
  const int threads = argc > 2 ? std::atoi(argv[2]) : 2;
  const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
  const std::string path = argc > 4 ? argv[4] : "tests/data/dragon_small.ply";
  const int refinements = argc > 5 ? std::atoi(argv[5]) : 4;
  const int only = argc > 6 ? static_cast<int>(parse_simp_type(argv[6])) : -1;
  set_message_sink([](MessageRoute, const std::string&) {});
  std::unique_ptr<Object> o = load_big_mesh(path, refinements);
  if (!o) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 1;
  }
  omp_set_num_threads(threads);
  const int32_t nn = o->num_nodes(), nt = o->num_triangles();
  const float* coords = reinterpret_cast<const float*>(o->nodes.data());
  const int32_t* tris = reinterpret_cast<const int32_t*>(o->triangles.data());
  std::vector<float> axis[3];
  for (int k = 0; k < 3; ++k) {
    axis[k].resize(nn);
    for (int32_t i = 0; i < nn; ++i) axis[k][i] = coords[3 * i + k];
  }
  std::printf("mesh: %d nodes, %d triangles; grid %d, %d threads, best of %d\n", nn, nt, grid,
              threads, repeats);

  double trivial = 1e30;
  std::vector<Run> runs(kSimpTypeCount);
  for (int r = 0; r < repeats; ++r) {
    // Floor: one pass reading every triangle's three node positions.
    double t0 = omp_get_wtime();
    double sum = 0;
#pragma omp parallel for schedule(static) reduction(+ : sum)
    for (int64_t i = 0; i < nt; ++i)
      for (int c = 0; c < 3; ++c) sum += coords[3 * static_cast<int64_t>(tris[4 * i + c])];
    trivial = std::min(trivial, omp_get_wtime() - t0);
    if (sum == 1.2345) std::printf(" ");
    for (int t = 0; t < kSimpTypeCount; ++t) {
      const simp_type type = static_cast<simp_type>(t);
      if (only >= 0 && t != only) continue;
      QefInputs inputs;
      if (type == HASH_UC_SCALAR) inputs.count = 1;
      if (type == HASH_UC_SCALAR3_NORMAL || type == HASH_UC_SCALAR3_VECTOR) inputs.count = 3;
      for (int k = 0; k < inputs.count; ++k) inputs.arrays[k] = axis[k].data();
      reset_peak_rss();
      const double before = peak_rss_mb();
      const double c0 = cpu_seconds();
      t0 = omp_get_wtime();
      std::unique_ptr<HandlerInterface> h = create_handler(grid, type, coords, nn);
      SimplifiedMesh mesh;
      ExtraOutputs extra;
      run_handler(h.get(), coords, nn, tris, nt, 4, inputs, mesh, extra);
      const double t_simp = omp_get_wtime() - t0;
      Run& run = runs[t];
      run.cpu = std::min(run.cpu, cpu_seconds() - c0);
      if (t_simp < run.t_simp) {
        run.t_simp = t_simp;
        run.phases = h ? h->phaseTimes() : PhaseTimes{};
      }
      run.memory = h ? h->memoryBytes() : 0;
      run.nodes = mesh.nodeCount();
      run.triangles = mesh.triangleCount();
      run.lines = mesh.lineCount();
      run.peak_mb = std::max(run.peak_mb, peak_rss_mb() - before);
      delete_handler(h);
    }
  }
  std::printf("trivial pass over the triangles: %.3f s\n", trivial);
  std::printf("%-22s %7s %7s %7s %7s %7s %8s %7s %9s %9s %7s %9s %9s %6s %7s\n", "type", "normals",
              "create", "submit", "optimal", "simplify", "t_simp", "Mtri/s", "nodes", "triangles",
              "lines", "memory MB", "peak+ MB", "xHUC", "cpu s");
  const double base = runs[HASH_UC].t_simp;
  for (int t = 0; t < kSimpTypeCount; ++t) {
    const Run& r = runs[t];
    if (only >= 0 && t != only) continue;
    const PhaseTimes& p = r.phases;
    std::printf(
        "%-22s %7.3f %7.3f %7.3f %7.3f %8.3f %8.3f %7.2f %9d %9d %7d %9.1f %9.1f %6.2f %7.3f\n",
        simp_type_keyword(static_cast<simp_type>(t)), p.normals, p.create, p.submit, p.optimal,
        p.simplify, r.t_simp, nt / r.t_simp / 1e6, r.nodes, r.triangles, r.lines,
        r.memory / 1048576.0, r.peak_mb, r.t_simp / base, r.cpu);
  }
  return 0;
}
