// Reads a PLY mesh, simplifies it and writes the GiD files, through the
// installed library: consumer IN.ply TYPE GRID OUT_BASE
#include <tavrin/tavrin.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: consumer IN.ply TYPE GRID OUT_BASE\n");
    return 2;
  }
  tavrin::Result in = tavrin::read_ply(argv[1]);
  if (!in.ok()) {
    std::fprintf(stderr, "%s\n", in.error.c_str());
    return 1;
  }
  tavrin::SimplifyRequest request;
  request.type = argv[2];
  request.grid = std::atoll(argv[3]);
  std::vector<tavrin::FieldView> fields;
  tavrin::Result out = tavrin::simplify(in.mesh.view(fields), request);
  if (!out.ok()) {
    std::fprintf(stderr, "%s\n", out.error.c_str());
    return 1;
  }
  std::vector<tavrin::FieldView> out_fields;
  const std::string error = tavrin::write_gid(argv[4], out.mesh.view(out_fields));
  if (!error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::printf("%zu -> %zu triangles in %g s\n", out.report.input_triangles, out.report.triangles,
              out.report.seconds);
  return 0;
}
