// The passes of the streamed road that only read a binary PLY body in
// blocks: the vertex pass (coordinates and the count of values that are
// not finite) and the checks of the face records (counts and indices), plus
// the helpers the later passes share with them.
#pragma once

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/messages.h"
#include "io/ply_block_reader.h"

namespace Tavrin {

// Sizes v to count elements (each set to `value`); false, having said so in
// one line, when the memory is not there.
template <class T>
bool make_room(std::vector<T>& v, uint64_t count, const char* what, T value = T()) {
  try {
    v.assign(static_cast<size_t>(count), value);
    return true;
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  log_message(not_enough_memory(what, count * sizeof(T)) + "\n");
  return false;
}

// The quadrilaterals of a block as their two triangles (a, b, c), (c, d, a);
// false, having said so, when there is no memory for them.
bool split_quads(const std::vector<int32_t>& quads, std::vector<int32_t>& out);

// What the vertex pass found.
struct PlyVertexPass {
  std::vector<float> coords;        // 3 per node
  std::vector<int64_t> non_finite;  // values that are not finite, per field of the file
  int64_t bad_coordinate = -1;      // the first coordinate that is not finite (3 per node)
};

// Reads every vertex in blocks of `block`: the coordinates, and per field
// the values that are not finite. False, having said why, when the memory
// is not there or the body does not read.
bool read_vertex_pass(PlyBlockReader& reader, int64_t block, PlyVertexPass& pass);

// The counts and index checks of the face records, block by block.
struct PlyFaceCounts {
  // The first face index outside the nodes, per kind, as the reader reports it.
  struct BadIndex {
    int32_t value = 0;
    int64_t record = -1;
  };
  int64_t lines = 0, triangles = 0, quads = 0;
  BadIndex bad_line, bad_triangle, bad_quad;

  void add(const PlyFaceBlock& b, int64_t num_nodes);
  // The refusal (without its newline) of a file whose faces have been
  // counted, given the vertex pass's first bad coordinate; empty when the
  // file is taken.
  std::string refusal(int64_t bad_coordinate, int64_t num_nodes,
                      const std::string& file_name) const;
};

}  // namespace Tavrin
