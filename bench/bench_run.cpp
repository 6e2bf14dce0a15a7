// The whole batch run on one mesh, measured in one run:
//   bench_run MESH.ply [GRID ...] [--type T] [--runs N] [--threads LIST]
//   (default grids 64 256 1024, HASH_UC, 3 runs, threads "1,2")
// In this process: read_ply, load_ply and its phases, then per grid and
// thread count the simplification call (the driver's t_simp and its phase
// times), and the GiD write with the most threads. As separate processes:
// the `tavrin` program beside this one (wall time, peak RSS) and, when
// built, `meshopt_harness` (meshopt_simplifySloppy towards the triangle
// count ours produced, one thread). Every time is the median of N runs; the
// peak RSS is the largest of them. Ends with a table of t_simp per thread
// count against the sloppy call and the ratios against the performance
// targets.
#include <fcntl.h>
#include <omp.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/messages.h"
#include "hashuc/handler_interface.h"
#include "hashuc/simp_type.h"
#include "io/gid_writer.h"
#include "io/ply_reader.h"
#include "mesh/node_fields.h"
#include "simplify/driver.h"

extern char** environ;

using namespace Tavrin;
namespace fs = std::filesystem;

namespace {

double median(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  const size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : 0.5 * (v[m - 1] + v[m]);
}

// Median of `runs` wall times of f().
template <class F>
double median_seconds(int runs, F f) {
  std::vector<double> t;
  for (int i = 0; i < runs; ++i) {
    const double t0 = omp_get_wtime();
    f();
    t.push_back(omp_get_wtime() - t0);
  }
  return median(t);
}

void line(const char* what, double seconds, const char* note = "") {
  std::printf("%-36s %9.4f s  %s\n", what, seconds, note);
}

void ratio(const std::string& what, double value, const char* op, double target,
           const char* note = "") {
  const bool met = op[0] == '<' ? value <= target : value >= target;
  std::printf("%-40s %7.2f    target %s %g  %-6s %s\n", what.c_str(), value, op, target,
              met ? "met" : "MISSED", note);
}

// One child process: wall seconds, peak RSS in bytes, whether it exited with 0.
struct ProcessRun {
  double wall = -1;
  double peak_bytes = 0;
  bool ok = false;
};

// Runs args[0] with its standard output and error sent to `log`.
ProcessRun run_process(const std::vector<std::string>& args, const std::string& log) {
  ProcessRun r;
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  const double t0 = omp_get_wtime();
  const int err = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) return r;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return r;
  r.wall = omp_get_wtime() - t0;
  r.peak_bytes = static_cast<double>(usage.ru_maxrss) * 1024.0;  // ru_maxrss is in KiB
  r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return r;
}

std::string read_text(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The driver's t_simp from its last status line "TAG[ n] v: V t: T l: L in
// TOTAL s. ( T_SIMP + T_INTERP)"; numbers may carry '.' between digit
// groups and ',' as the decimal mark.
double status_t_simp(const std::string& text) {
  const size_t at = text.rfind("( ");
  if (at == std::string::npos || text.find("] v: ") == std::string::npos) return -1;
  std::string number;
  for (size_t i = at + 2; i < text.size() && text[i] != ' '; ++i)
    if (text[i] != '.') number += text[i] == ',' ? '.' : text[i];
  return std::atof(number.c_str());
}

// The whole program at one grid: median wall seconds (-1 when it did not
// run) and the largest peak resident size of its runs.
struct WholeRun {
  double wall = -1;
  double peak = 0;
};

struct Options {
  std::string mesh, type = "HASH_UC";
  std::vector<int32_t> grids;
  std::vector<int> threads;
  int runs = 3;
};

// "1,2,4" as numbers; false for anything else.
bool parse_threads(const std::string& text, std::vector<int>& out) {
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    const int n = std::atoi(item.c_str());
    if (n <= 0) return false;
    out.push_back(n);
  }
  return !out.empty();
}

bool parse_options(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--threads" && i + 1 < argc) {
      if (!parse_threads(argv[++i], o.threads)) return false;
    } else if ((a == "--type" || a == "--runs") && i + 1 < argc) {
      if (a == "--type")
        o.type = argv[++i];
      else
        o.runs = std::max(1, std::atoi(argv[++i]));
    } else if (o.mesh.empty()) {
      o.mesh = a;
    } else if (std::atoi(a.c_str()) > 0) {
      o.grids.push_back(std::atoi(a.c_str()));
    } else {
      return false;
    }
  }
  if (o.grids.empty()) o.grids = {64, 256, 1024};
  if (o.threads.empty()) o.threads = {1, 2};
  return !o.mesh.empty() && is_simp_type_keyword(o.type.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  if (!parse_options(argc, argv, opt)) {
    std::fprintf(stderr, "usage: %s MESH.ply [GRID ...] [--type T] [--runs N] [--threads 1,2]\n",
                 argv[0]);
    return 2;
  }
  // Keep the driver's last status line (for its t_simp) and drop the rest.
  std::string last_status;
  set_message_sink([&](MessageRoute, const std::string& text) {
    if (text.find("] v: ") != std::string::npos) last_status = text;
  });
  const fs::path mesh_path = fs::absolute(opt.mesh);
  const fs::path bin_dir = fs::read_symlink("/proc/self/exe").parent_path();
  const fs::path tavrin = bin_dir / "tavrin", harness = bin_dir / "meshopt_harness";
  const fs::path dir = fs::temp_directory_path() / ("tavrin_bench_run_" + std::to_string(getpid()));
  fs::create_directories(dir);
  // The program writes its output beside its input: give it a link in `dir`.
  const fs::path link = dir / mesh_path.filename();
  fs::create_symlink(mesh_path, link);
  const int runs = opt.runs;

  // The whole program first, while this process is still small: a spawned
  // child's peak resident size counts the pages it shared with its parent
  // before it replaced itself with the program.
  const bool have_tavrin = access(tavrin.c_str(), X_OK) == 0;
  if (!have_tavrin)
    std::printf("tavrin not built beside %s: no whole-process runs\n", bin_dir.c_str());
  std::map<int32_t, WholeRun> whole_runs;
  for (const int32_t grid : opt.grids) {
    WholeRun& w = whole_runs[grid];
    std::vector<double> wall;
    bool ok = have_tavrin;
    const std::string log = (dir / "tavrin.log").string();
    for (int i = 0; i < runs && ok; ++i) {
      ProcessRun p =
          run_process({tavrin.string(), link.string(), opt.type, std::to_string(grid)}, log);
      ok = p.ok;
      wall.push_back(p.wall);
      w.peak = std::max(w.peak, p.peak_bytes);
    }
    if (have_tavrin && !ok)
      std::printf("grid %d: %s failed; its output:\n%s", grid, tavrin.c_str(),
                  read_text(log).c_str());
    else if (have_tavrin)
      w.wall = median(wall);
  }

  std::unique_ptr<Object> source = load_ply(mesh_path.string());
  if (!source) {
    std::fprintf(stderr, "cannot read %s\n", mesh_path.c_str());
    return 1;
  }
  const double triangles = source->num_triangles();
  std::printf("%s: %d nodes, %.0f triangles, type %s, %d threads, median of %d runs\n",
              mesh_path.c_str(), source->num_nodes(), triangles, opt.type.c_str(),
              omp_get_max_threads(), runs);

  // Loading, and its phases as far as they show from outside the library.
  const std::string path = mesh_path.string();
  const double t_read = median_seconds(runs, [&] {
    PlyMesh m;
    if (!read_ply_mesh(path, m)) std::fprintf(stderr, "read_ply failed: %s\n", m.error.c_str());
  });
  const double t_read_flat = median_seconds(runs, [&] {
    PlyData d;
    if (!read_ply(path, d)) std::fprintf(stderr, "read_ply failed: %s\n", d.error.c_str());
  });
  // The whole load and the same load in parts, interleaved so that both see
  // the same machine.
  std::vector<double> v_load, v_read, v_finite, v_build;
  size_t file_fields = 0;
  for (int i = 0; i < runs; ++i) {
    source.reset();  // the earlier object's release is no part of this load
    double t0 = omp_get_wtime();
    source = load_ply(path);
    v_load.push_back(omp_get_wtime() - t0);
    Object o;
    PlyMesh m;
    t0 = omp_get_wtime();
    read_ply_mesh(path, m);
    v_read.push_back(omp_get_wtime() - t0);
    file_fields = m.scalars.size();
    t0 = omp_get_wtime();
    for (Scalar& field : m.scalars) replace_non_finite_values(field.values);
    v_finite.push_back(omp_get_wtime() - t0);
    t0 = omp_get_wtime();
    o.build(std::move(m.nodes), std::move(m.lines), std::move(m.triangles), std::move(m.scalars),
            true);
    v_build.push_back(omp_get_wtime() - t0);
  }
  const double t_load = median(v_load);
  const double t_build = median(v_build);
  // The steps of Object::build again, each alone on the loaded mesh.
  Object& s = *source;
  const int64_t n = s.num_nodes();
  const double t_box = median_seconds(runs, [&] { s.update_bbox(); });
  const double t_boundary = median_seconds(runs, [&] {
    std::vector<float> boundary;
    boundary_values(s.triangles, n, boundary);
  });
  // Not part of loading: made when first drawn or asked for by a type.
  const double t_normals = median_seconds(runs, [&] {
    std::vector<Vec3> normals;
    node_normals(s.nodes, s.triangles, normals);
  });
  double t_artificial = 0;
  if (file_fields == 0)  // build then adds the artificial field
    t_artificial = median_seconds(runs, [&] {
      Object o;
      o.nodes = s.nodes;
      o.add_artificial_scalar();
    });
  const double parts = t_box + t_artificial + t_boundary;
  line("read_ply (records, as load_ply)", t_read);
  line("read_ply (flat arrays)", t_read_flat);
  line("load_ply", t_load);
  line("  read", median(v_read));
  line("  non-finite field check", median(v_finite));
  line("  Object::build", t_build);
  line("    bounding box", t_box, "(alone, on the loaded mesh)");
  line("    artificial field", t_artificial,
       file_fields == 0 ? "(alone, with a copy of the nodes)" : "(the file has fields)");
  line("    boundary field", t_boundary, "(alone)");
  line("    rest of build", t_build - parts, "(moves, clear, adding the fields)");
  line("  (node normals, made on first use)", t_normals,
       "(alone: drawing, HASH_UC_SCALAR3_NORMAL)");
  line("  rest of load_ply", t_load - median(v_read) - median(v_finite) - t_build,
       "(messages, progress, names)");

  const bool have_harness = access(harness.c_str(), X_OK) == 0;
  if (!have_harness)
    std::printf(
        "meshopt_harness not built beside %s: apt-get install libmeshoptimizer-dev, "
        "re-run cmake and rebuild\n",
        bin_dir.c_str());
  const simp_type type = parse_simp_type(opt.type.c_str());
  struct GridResult {
    int32_t grid;
    std::vector<double> t_simp;  // per thread count of opt.threads
    double whole, peak, meshopt, write;
  };
  std::vector<GridResult> results;
  const int max_threads = omp_get_max_threads();
  for (const int32_t grid : opt.grids) {
    std::printf("grid %d\n", grid);
    GridResult r{grid, {}, 0, 0, -1, -1};
    int32_t out_triangles = 0;
    char note[96];
    for (size_t ti = 0; ti < opt.threads.size(); ++ti) {
      const int threads = opt.threads[ti];
      const bool last = ti + 1 == opt.threads.size();
      omp_set_num_threads(threads);
      std::vector<double> simp, call, write, ph[8];
      for (int i = 0; i < runs; ++i) {
        const double t0 = omp_get_wtime();
        RunFigures figures;
        std::unique_ptr<Object> result =
            simplify_object(source.get(), SimplifyOptions{grid, type}, &figures);
        call.push_back(omp_get_wtime() - t0);
        simp.push_back(status_t_simp(last_status));
        const PhaseTimes& p = figures.phases;
        const float phases[8] = {p.create,  p.submit, p.optimal,     p.simplify,
                                 p.normals, p.clear,  p.interpolate, p.destroy};
        for (int k = 0; k < 8; ++k) ph[k].push_back(phases[k]);
        if (!result) break;
        out_triangles = result->num_triangles();
        if (!last) continue;  // the write is measured once, with the most threads
        const double t1 = omp_get_wtime();
        if (!export_gid(*result, (dir / "bench").string()))
          std::fprintf(stderr, "GiD write failed\n");
        write.push_back(omp_get_wtime() - t1);
      }
      if (out_triangles == 0) break;
      r.t_simp.push_back(median(simp));
      std::snprintf(note, sizeof note, "(%d thread%s, %d output triangles)", threads,
                    threads == 1 ? "" : "s", out_triangles);
      line("  t_simp (driver)", r.t_simp.back(), note);
      const char* names[8] = {"create",  "submit", "optimal",     "simplify",
                              "normals", "clear",  "interpolate", "delete"};
      for (int k = 0; k < 8; ++k)
        line((std::string("    ") + names[k]).c_str(), median(ph[k]), "(phases)");
      line("  simplify_object call", median(call), "(t_simp, field averaging, result build)");
      if (last) {
        r.write = median(write);
        line("  GiD write (.msh + .res)", r.write);
      }
    }
    omp_set_num_threads(max_threads);
    if (out_triangles == 0) {
      std::printf("  the simplification gave no mesh\n");
      continue;
    }

    const WholeRun& w = whole_runs[grid];
    r.whole = w.wall;
    r.peak = w.peak;
    if (r.whole > 0) {
      std::snprintf(note, sizeof note, "(peak RSS %.1f MB, %.1f bytes per input triangle)",
                    r.peak / 1e6, r.peak / triangles);
      line("  whole tavrin process (wall)", r.whole, note);
    }

    if (have_harness) {
      std::vector<double> t_call;
      const std::string out = (dir / "meshopt.ply").string(), hlog = (dir / "meshopt.log").string();
      for (int i = 0; i < runs; ++i) {
        if (!run_process({harness.string(), path, std::to_string(out_triangles), out}, hlog).ok)
          break;
        const std::string text = read_text(hlog);
        const size_t at = text.find("t_call=");
        if (at != std::string::npos) t_call.push_back(std::atof(text.c_str() + at + 7));
      }
      r.meshopt = median(t_call);
      if (r.meshopt > 0)
        line("  meshopt_simplifySloppy call", r.meshopt, "(same target triangle count)");
      else
        std::printf("  meshopt_harness failed:\n%s", read_text(hlog).c_str());
    }
    results.push_back(r);
  }

  // t_simp with `threads` threads, -1 when not measured.
  auto simp_at = [&](const GridResult& r, int threads) {
    for (size_t i = 0; i < opt.threads.size() && i < r.t_simp.size(); ++i)
      if (opt.threads[i] == threads) return r.t_simp[i];
    return -1.0;
  };
  std::printf("table (seconds; sloppy = meshopt_simplifySloppy call, one thread)\n");
  std::printf("%6s", "grid");
  for (const int t : opt.threads) std::printf("  t_simp %2dT", t);
  std::printf("  %9s", "sloppy");
  for (const int t : opt.threads) std::printf("  sloppy/%2dT", t);
  std::printf("  %9s  %9s\n", "GiD write", "process");
  for (const GridResult& r : results) {
    std::printf("%6d", r.grid);
    for (const int t : opt.threads) std::printf("  %9.4f", simp_at(r, t));
    std::printf("  %9.4f", r.meshopt);
    for (const int t : opt.threads)
      std::printf("  %10.2f", r.meshopt > 0 && simp_at(r, t) > 0 ? r.meshopt / simp_at(r, t) : -1);
    std::printf("  %9.4f  %9.4f\n", r.write, r.whole);
  }

  std::printf("ratios\n");
  const bool big = triangles >= 12e6;
  const char* big_only = big ? "" : "(target for >= 12 M triangles)";
  ratio("load_ply / read_ply", t_load / t_read, "<=", 4, "(the records read load_ply makes)");
  for (const GridResult& r : results) {
    const std::string g = "grid " + std::to_string(r.grid) + ": ";
    const double one = simp_at(r, 1), two = simp_at(r, 2);
    if (r.meshopt > 0 && one > 0) ratio(g + "sloppy / t_simp, 1 thread", r.meshopt / one, ">=", 1);
    if (r.grid == 256 && one > 0 && two > 0)
      ratio(g + "t_simp 1 thread / 2 threads", one / two, ">=", 1.7, big_only);
    if (r.meshopt > 0 && two > 0 && (r.grid == 256 || r.grid == 1024))
      ratio(g + "sloppy / t_simp, 2 threads", r.meshopt / two, ">=", r.grid == 256 ? 2 : 1,
            big_only);
    if (r.meshopt > 0 && r.whole > 0 && r.grid == 256)
      ratio(g + "whole process / sloppy call", r.whole / r.meshopt, "<=", 1, big_only);
    if (r.whole > 0) ratio(g + "peak bytes per input triangle", r.peak / triangles, "<=", 70);
  }
  if (!have_harness) std::printf("(ratios against meshopt need meshopt_harness)\n");
  fs::remove_all(dir);
  return 0;
}
