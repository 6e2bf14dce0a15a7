// Tavrin: simplification of triangle meshes by vertex clustering, as a
// library. This is the only header a user includes.
//
// Meshes go in as plain arrays the caller owns (MeshView) and come out as
// plain arrays the caller then owns (Mesh). Nothing is thrown: every call
// returns its error text. Nothing is printed: the messages a run sends go to
// the caller's MessageSink when one is given and are dropped otherwise.
// Calls keep no state between them and share none: two calls on two
// threads run apart, and a call gives the same result every time, on any
// thread count, byte for byte equal to what the `tavrin` program writes for
// the same mesh.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tavrin {

// A named per-node field: `values` holds one float per node of the mesh.
struct FieldView {
  const char* name = nullptr;  // NUL-terminated; null or empty: no name
  const float* values = nullptr;
};

// A mesh as the caller's arrays; nothing is copied into the view and
// nothing is freed through it. The arrays must stay valid during the call.
struct MeshView {
  const float* xyz = nullptr;  // 3 * node_count floats: x, y, z of every node
  size_t node_count = 0;
  const uint32_t* triangles = nullptr;  // 3 * triangle_count node indices, 0-based
  size_t triangle_count = 0;
  const uint32_t* lines = nullptr;  // 2 * line_count node indices; may be null when 0
  size_t line_count = 0;
  const FieldView* fields = nullptr;  // field_count entries; may be null when 0
  size_t field_count = 0;
};

// A per-node field owned by a result: values.size() is the node count.
struct Field {
  std::string name;
  std::vector<float> values;
};

// A mesh owned by the caller once returned.
struct Mesh {
  std::vector<float> xyz;           // 3 per node
  std::vector<uint32_t> triangles;  // 3 per triangle, 0-based
  std::vector<uint32_t> lines;      // 2 per segment, 0-based
  std::vector<Field> fields;        // each with one value per node

  size_t node_count() const { return xyz.size() / 3; }
  size_t triangle_count() const { return triangles.size() / 3; }
  size_t line_count() const { return lines.size() / 2; }
  // A view of this mesh; valid while the mesh lives unchanged. `fields`
  // receives the field views the view points at.
  MeshView view(std::vector<FieldView>& fields) const;
};

// Where a run's messages go: each message is one text, as the `tavrin`
// program would print it (with its line end). Called on the calling thread
// or on the run's worker threads, one call at a time.
using MessageSink = std::function<void(const std::string& text)>;

// The eleven clustering methods, by the keyword the `tavrin` program takes.
// types()[i] is the keyword of method i.
const std::vector<std::string>& types();

// What one simplification is asked to do.
struct SimplifyRequest {
  std::string type = "HASH_UC";  // one of types(), any case
  // Exactly one of the next three: the grid itself, or what chooses it
  // among grids 2 to 2048 once the mesh is checked (the chosen grid is in
  // RunReport::grid; lines saying how it was chosen go to `messages`).
  int64_t grid = 0;  // cells per axis, 1 to max_grid
  // The grid whose result has the most triangles not above this (1 to 2^31 - 1).
  std::optional<int64_t> triangles;
  // The coarsest grid whose error_max (as RunReport's) is at most this (above 0).
  std::optional<double> max_error;
  // Space factor of the HASH_UC_SINGLE and HASH_UC_COHERENT tables; 0 takes
  // their default. Must be finite and not negative.
  float load_factor = 0.0f;
  int threads = 0;       // OpenMP threads for this call; 0: the runtime's default
  MessageSink messages;  // empty: the run's messages are dropped
};

constexpr int64_t max_grid = 1048576;

// Seconds spent in each phase of one clustering run.
struct PhaseTimes {
  double create = 0, submit = 0, optimal = 0, simplify = 0, normals = 0;
  double clear = 0, interpolate = 0, destroy = 0;
};

// What a run did.
struct RunReport {
  size_t input_nodes = 0, input_triangles = 0;
  size_t nodes = 0, triangles = 0, lines = 0;  // of the result
  double seconds = 0;                          // the whole run, without building the input
  double seconds_simplify = 0;                 // clustering
  double seconds_interpolate = 0;              // averaging the fields
  uint64_t table_bytes = 0;                    // memory of the method's cell tables
  PhaseTimes phases;                           // clustering runs only
  int64_t grid = 0;                            // cells per axis the clustering used
  // The result's error relative to the diagonal of the input's bounding
  // box: the largest and the root-mean-square cell error (clustering runs;
  // error_measured is false when there was nothing to measure).
  double error_max = 0, error_rms = 0;
  bool error_measured = false;
};

// A call's outcome: `error` is empty on success; otherwise it holds the
// one-sentence reason and `mesh` is empty.
struct Result {
  std::string error;
  Mesh mesh;
  RunReport report;
  bool ok() const { return error.empty(); }
};

// Checks a view: every index below node_count, every coordinate finite,
// counts within 32-bit node and element numbers, and fields with values.
// Returns the reason of the first fault found ("" when sound).
std::string check_mesh(const MeshView& mesh);

// Simplifies by clustering the nodes in a grid of request.grid cells per
// axis (or the grid request.triangles or request.max_error chooses) with
// the request's method. The result has at most
// min(node_count, grid^3) nodes; its triangles and lines index them (the
// lines are the triangles that collapsed to segments: the input's lines are
// checked but, as in the `tavrin` program, not carried over); every field of
// the input comes back averaged onto them, in the input's order and names
// (a field the method folds into its quadrics, such as HASH_UC_SCALAR's,
// takes its value at each cell's optimal point; one that could not be
// averaged holds -1000). The input is not changed. Fails (error set, nothing else) on
// an unknown type, a grid outside 1..max_grid, not exactly one of grid,
// triangles and max_error, a budget below 1, a bound not above 0 or not
// finite, a negative or non-finite
// load factor, a mesh that check_mesh refuses, a mesh without nodes or
// triangles, or a run that produces no mesh.
Result simplify(const MeshView& mesh, const SimplifyRequest& request);

// Simplifies with the octree method: every node goes to the coarsest octree
// cell whose quadric error is at most max_error (in units of the mesh's
// bounding cube mapped to [-1, 1]). The result carries no fields. Fails on
// a negative or non-finite max_error, a mesh that check_mesh refuses, or a
// run that produces no mesh. threads and messages are used as in
// SimplifyRequest.
Result simplify_octree(const MeshView& mesh, float max_error, int threads = 0,
                       const MessageSink& messages = {});

// Reads a PLY file as the `tavrin` program does: quadrilaterals become two
// triangles (a, b, c) and (c, d, a) after the file's triangles, every
// further vertex property becomes a field, and a "Boundary" field is added
// (1 on nodes of boundary edges, 0 elsewhere); a mesh without properties
// gets an "Artificial" field first. Values that are not finite become the
// lowest float. Fails with the reader's sentence.
Result read_ply(const std::string& path, const MessageSink& messages = {});

// Writes a GiD mesh file (".msh" is appended unless `path` ends in it) and,
// when the mesh has fields, the results file beside it (".res" in place of
// the extension). Both replace their targets only when complete. Returns ""
// or the reason of the failure; a mesh that check_mesh refuses is not
// written.
std::string write_gid(const std::string& path, const MeshView& mesh,
                      const MessageSink& messages = {});

// Writes a binary little-endian PLY file with every field as a float vertex
// property. Lines are not written (the format's face lists hold the
// triangles). Returns "" or the reason of the failure.
std::string write_ply(const std::string& path, const MeshView& mesh,
                      const MessageSink& messages = {});

}  // namespace tavrin
