// Reading a binary PLY mesh in blocks instead of all at once: the header is
// parsed alone, vertex records (fixed size) are read by index range with one
// pread per block, and the face lists are walked from the start in blocks of
// a given number of faces. Memory stays at one block whatever the file size,
// so a mesh larger than the memory can be passed over several times. The
// nodes, fields and faces are those load_ply would take: the first non-empty
// element "vertex" (case ignored), its properties other than x, y, z as
// fields in header order, and the list "vertex_indices" of the first element
// "face" (2 entries a line, 3 a triangle, 4 or more a quadrilateral of the
// first four; entries beyond int32 become -1).
//
// A file that changes between the passes of a run is caught: every read
// compares the file's size and modification time with those seen at open,
// and each vertex range and each face block is checked against a checksum
// of its first read, before anything read later is handed out.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "io/ply_file.h"

namespace Tavrin {

// The faces of one block, in file order within each kind.
struct PlyFaceBlock {
  int64_t first_face = 0;  // element instance number of the block's first face
  int64_t first_line = 0, first_triangle = 0, first_quad = 0;  // numbers within each kind
  std::vector<int32_t> lines;                                  // 2 per line
  std::vector<int32_t> triangles;                              // 3 per triangle
  std::vector<int32_t> quads;                                  // 4 per quadrilateral
  int64_t skipped = 0;                                         // lists of fewer than 2 entries
};

// The one line that refuses a file found to change during a run.
std::string changed_file_message(const std::string& path);
// The one line that ends a run short of memory: "Not enough memory to
// <what> (<bytes in MB> needed)."
std::string not_enough_memory(const std::string& what, uint64_t bytes);

class PlyBlockReader {
 public:
  // Reads the header and finds where the vertex and face records start.
  // False with error() set for a file load_ply refuses at that stage, and
  // for an ascii body or vertex records holding lists (is_streamable() then
  // says which; such files are read whole by load_ply instead).
  bool open(const std::string& path);

  const std::string& error() const { return error_; }
  void clear_error() { error_.clear(); }
  // False after open() refused only because of the body's layout.
  bool is_streamable() const { return streamable_; }

  int64_t num_nodes() const { return num_nodes_; }
  bool has_faces() const { return face_ >= 0; }
  int64_t num_face_records() const;
  // Names of the fields (the extra vertex properties, %-decoded), in order.
  const std::vector<std::string>& field_names() const { return field_names_; }
  // Bytes of the file.
  uint64_t file_bytes() const { return file_bytes_; }

  // Nodes first .. first + count - 1: three coordinates per node into xyz
  // (when not null) and field k into fields[k] (when fields and fields[k]
  // are not null), one float per node. False with error() set when the file
  // cannot be read there.
  bool read_vertices(int64_t first, int64_t count, float* xyz, float* const* fields);

  // Walks every face record in order, at most `block` faces per call of
  // visit; stops early when visit returns false. False when the file is
  // short or a list is broken (error() says where) or visit stopped.
  // The first complete walk with a block size is remembered: a later walk
  // with that size whose blocks differ from it stops before handing the
  // differing block to visit, with the changed-file error.
  bool read_faces(int64_t block, const std::function<bool(const PlyFaceBlock&)>& visit);

  // The elements after the vertices and faces, checked as load_ply reads
  // them: false with load_ply's error when the file is too short for them
  // or a list among them is broken. Call after a complete read_faces (or
  // with a file without faces).
  bool check_rest();

  // Whether the file still has the size and modification time it had at
  // open; false with the changed-file error otherwise.
  bool unchanged();
  // Whether the last error was the changed-file error.
  bool changed() const { return changed_; }

 private:
  bool fail(std::string text);
  bool fail_changed();
  // Fixed-size elements by their size, list elements walked, from element
  // `from` at `offset` up to but not including `to`; `offset` ends past them.
  bool pass_elements(size_t from, size_t to, uint64_t& offset);
  bool read_bytes(uint64_t offset, size_t bytes, char* into);
  bool walk_faces(size_t e, int64_t block, const std::function<bool(const PlyFaceBlock&)>* visit,
                  uint64_t offset, uint64_t* bytes);
  struct FaceWalk;
  int refill(FaceWalk& walk);
  template <bool Swap>
  bool walk_listed_faces(FaceWalk& walk);
  bool walk_any_faces(FaceWalk& walk, bool swap);

  std::string path_;
  std::string error_;
  bool streamable_ = true;
  PlyFile header_;
  uint64_t file_bytes_ = 0;
  int64_t num_nodes_ = 0;
  int vertex_ = -1, face_ = -1, face_list_ = -1;
  uint64_t vertex_offset_ = 0, face_offset_ = 0;
  size_t vertex_record_ = 0;
  struct Column {
    size_t offset;
    PlyType type;
    int axis;   // 0..2 for x, y, z, else -1
    int field;  // field number, else -1
  };
  std::vector<Column> columns_;
  std::vector<std::string> field_names_;
  std::vector<char> buffer_;
  int fd_ = -1;
  struct stat opened_ {};
  bool changed_ = false;
  uint64_t face_end_ = 0;  // offset past the face records, after a complete walk
  // Checksums of the first reads: per vertex range (by its first node), and
  // per face block of the first complete walk with face_sums_block_.
  std::unordered_map<int64_t, std::pair<int64_t, uint64_t>> vertex_sums_;
  std::vector<uint64_t> face_sums_;
  int64_t face_sums_block_ = 0;

 public:
  PlyBlockReader() = default;
  ~PlyBlockReader();
  PlyBlockReader(const PlyBlockReader&) = delete;
  PlyBlockReader& operator=(const PlyBlockReader&) = delete;
};

}  // namespace Tavrin
