// Throughput of the mesh file formats against `cat FILE > /dev/null`:
// read_ply, load_ply (and its steps), write_gid and write_ply on a large
// binary PLY, and read_ply on the same mesh stored as ascii. Without a file
// argument the mesh is dragon_small.ply refined four times (over 12 million
// triangles), cached in the temporary directory. Further arguments pick the
// measurements (cat read load steps gid ply ascii); by default all run.
#include <omp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/messages.h"
#include "io/gid_writer.h"
#include "io/ply_reader.h"
#include "io/ply_writer.h"
#include "mesh/node_fields.h"

using namespace Tavrin;

namespace {

double file_mb(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<double>(st.st_size) / 1e6 : 0.0;
}

// Best of `runs` wall times of f().
template <class F>
double best_seconds(int runs, F f) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    double t0 = omp_get_wtime();
    f();
    best = std::min(best, omp_get_wtime() - t0);
  }
  return best;
}

void report(const char* what, double seconds, double mb, double triangles, double cat_mb_s) {
  double mb_s = mb / seconds;
  std::printf("%-22s %8.3f s %9.1f MB/s %8.2f Mtri/s  %6.2f x cat\n", what, seconds, mb_s,
              triangles / seconds / 1e6, mb_s / cat_mb_s);
}

// The mesh as an ascii PLY with the same float values.
bool write_ascii(const std::string& path, const Object& o) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(
      f,
      "ply\nformat ascii 1.0\nelement vertex %d\nproperty float x\nproperty float y\n"
      "property float z\nelement face %d\nproperty list uchar int vertex_indices\nend_header\n",
      o.num_nodes(), o.num_triangles());
  std::vector<char> buf(1 << 22);
  size_t n = 0;
  auto flush = [&] {
    std::fwrite(buf.data(), 1, n, f);
    n = 0;
  };
  for (const Vec3& v : o.nodes) {
    if (buf.size() - n < 128) flush();
    for (int c = 0; c < 3; ++c) {
      n = std::to_chars(buf.data() + n, buf.data() + buf.size(), v[c]).ptr - buf.data();
      buf[n++] = c < 2 ? ' ' : '\n';
    }
  }
  for (const TriangleRecord& t : o.triangles) {
    if (buf.size() - n < 64) flush();
    buf[n++] = '3';
    for (int32_t idx : {t.a, t.b, t.c}) {
      buf[n++] = ' ';
      n = std::to_chars(buf.data() + n, buf.data() + buf.size(), idx).ptr - buf.data();
    }
    buf[n++] = '\n';
  }
  flush();
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  set_message_sink([](MessageRoute, const std::string&) {});  // keep the table readable
  const std::string dir =
      (std::filesystem::temp_directory_path() / ("tavrin_bench_io_" + std::to_string(getpid())))
          .string();
  std::filesystem::create_directories(dir);
  std::string path;
  std::unique_ptr<Object> mesh;
  std::vector<std::string> picked;
  for (int i = 2; i < argc; ++i) picked.push_back(argv[i]);
  auto want = [&](const char* what) {
    return picked.empty() || std::find(picked.begin(), picked.end(), what) != picked.end();
  };
  if (argc > 1 && std::string(argv[1]) != "-") {
    path = argv[1];
    mesh = load_ply(path);
  } else {
    // The refined mesh is cached between runs: refining takes longer than
    // everything measured here.
    path = (std::filesystem::temp_directory_path() / "tavrin_bench_io_dragon4.ply").string();
    mesh = load_ply(path);
    if (!mesh) {
      std::string source = (std::filesystem::path(__FILE__).parent_path().parent_path() /
                            "tests/data/dragon_small.ply")
                               .string();
      mesh = load_ply(source);
      if (!mesh) {
        std::fprintf(stderr, "cannot read %s\n", source.c_str());
        return 1;
      }
      for (int i = 0; i < 4; ++i) mesh->refine();
      const std::string part = path + ".part";
      if (write_ply(part, *mesh) == 0 || std::rename(part.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
      }
    }
  }
  if (!mesh) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 1;
  }
  const double triangles = mesh->num_triangles();
  const double mb = file_mb(path);
  std::printf("%s: %.1f MB, %d nodes, %.0f triangles, %d threads\n", path.c_str(), mb,
              mesh->num_nodes(), triangles, omp_get_max_threads());

  const std::string cat = "cat '" + path + "' > /dev/null";
  double t_cat = best_seconds(3, [&] { (void)std::system(cat.c_str()); });
  const double cat_mb_s = mb / t_cat;
  report("cat > /dev/null", t_cat, mb, triangles, cat_mb_s);

  double t_read = 0;
  if (want("read")) {
    t_read = best_seconds(3, [&] {
      PlyMesh data;
      if (!read_ply_mesh(path, data))
        std::fprintf(stderr, "read_ply failed: %s\n", data.error.c_str());
    });
    report("read_ply binary", t_read, mb, triangles, cat_mb_s);
    double t_flat = best_seconds(3, [&] {
      PlyData data;
      if (!read_ply(path, data)) std::fprintf(stderr, "read_ply failed: %s\n", data.error.c_str());
    });
    report("read_ply flat arrays", t_flat, mb, triangles, cat_mb_s);
  }

  if (want("load")) {
    double t_load = best_seconds(3, [&] {
      mesh.reset();
      mesh = load_ply(path);
    });
    report("load_ply binary", t_load, mb, triangles, cat_mb_s);
    if (t_read > 0) std::printf("load_ply / read_ply = %.2f\n", t_load / t_read);
  }

  if (want("steps")) {
    // The steps of load_ply after the read, on the loaded mesh.
    Object& o = *mesh;
    const int64_t n = o.num_nodes();
    double t_normals = best_seconds(3, [&] { node_normals(o.nodes, o.triangles, o.normals); });
    std::vector<float> values;
    double t_boundary = best_seconds(3, [&] { boundary_values(o.triangles, n, values); });
    double t_artificial = best_seconds(3, [&] { o.add_artificial_scalar(); });
    double t_box = best_seconds(3, [&] { o.update_bbox(); });
    std::printf("load steps: normals %.3f s, boundary %.3f s, artificial %.3f s, box %.3f s\n",
                t_normals, t_boundary, t_artificial, t_box);
  }

  if (want("gid")) {
    const std::string gid = dir + "/out";
    double t_gid = best_seconds(2, [&] {
      if (!export_gid(*mesh, gid)) std::fprintf(stderr, "write_gid failed\n");
    });
    double gid_mb = file_mb(gid + ".msh") + file_mb(gid + ".res");
    report("write_gid (.msh+.res)", t_gid, gid_mb, triangles, cat_mb_s);
  }

  if (want("ply")) {
    const std::string out_ply = dir + "/out.ply";
    double t_write = best_seconds(2, [&] {
      if (write_ply(out_ply, *mesh) == 0) std::fprintf(stderr, "write_ply failed\n");
    });
    report("write_ply", t_write, file_mb(out_ply), triangles, cat_mb_s);
  }

  const std::string ascii = dir + "/big_ascii.ply";
  if (want("ascii") && write_ascii(ascii, *mesh)) {
    const double ascii_mb = file_mb(ascii);
    const std::string cat_ascii = "cat '" + ascii + "' > /dev/null";
    double t_cat_ascii = best_seconds(3, [&] { (void)std::system(cat_ascii.c_str()); });
    std::printf("ascii file: %.1f MB\n", ascii_mb);
    report("cat > /dev/null", t_cat_ascii, ascii_mb, triangles, ascii_mb / t_cat_ascii);
    double t_ascii = best_seconds(2, [&] {
      PlyMesh data;
      if (!read_ply_mesh(ascii, data))
        std::fprintf(stderr, "ascii read_ply failed: %s\n", data.error.c_str());
    });
    report("read_ply ascii", t_ascii, ascii_mb, triangles, ascii_mb / t_cat_ascii);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
