// Writing a mesh as a binary little-endian PLY file: nodes with every scalar
// field as a float vertex property, triangles as index lists.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/ply_file.h"
#include "io/replacing_file.h"
#include "mesh/object.h"

namespace Tavrin {

// Writes a PLY file in little-endian binary storage: declare comments,
// elements and properties, write the header, then put the values of every
// element in order and close.
class PlyWriter {
 public:
  explicit PlyWriter(PlyErrorCallback on_error = {});
  ~PlyWriter();
  PlyWriter(const PlyWriter&) = delete;
  PlyWriter& operator=(const PlyWriter&) = delete;

  bool create(const std::string& path);
  bool add_comment(const std::string& text);
  bool add_element(const std::string& name, int64_t count);
  bool add_float_property(const std::string& name);
  // A list with an unsigned 8-bit count and signed 32-bit entries.
  bool add_index_list_property(const std::string& name);
  bool write_header();

  void put_float(float v) {
    if (end_ - cur_ < 16) flush();
    store32(&v);
  }
  void put_index_list3(int32_t a, int32_t b, int32_t c) {
    if (end_ - cur_ < 16) flush();
    *cur_++ = 3;
    store32(&a);
    store32(&b);
    store32(&c);
  }

  // Flushes and closes, and puts the file in place of the target; false when
  // any write, the close or the replacement failed (the target then stays
  // as it was and the temporary file is removed).
  bool close();
  const std::string& error() const { return error_; }

 private:
  void store32(const void* v) {
    uint32_t u;
    std::memcpy(&u, v, 4);
    if constexpr (std::endian::native == std::endian::big) u = __builtin_bswap32(u);
    std::memcpy(cur_, &u, 4);
    cur_ += 4;
  }
  bool valid_name(const std::string& name);
  bool fail(const std::string& text);
  void flush();

  PlyErrorCallback on_error_;
  std::string error_;
  ReplacingFile out_;
  FILE* file_ = nullptr;  // out_'s stream while writing
  std::string header_;
  bool failed_ = false;
  bool header_written_ = false;
  bool have_element_ = false;
  std::unique_ptr<char[]> buffer_;
  char* cur_ = nullptr;
  char* end_ = nullptr;
};

// Encodes a scalar name as a property name: unreserved bytes (A-Z a-z 0-9
// - _ . ~) are copied, every other byte becomes "%hh" in lower-case hex.
// An empty name has no encoding.
std::optional<std::string> encode_property_name(std::string_view name);

// Writes the file; returns num_triangles, 0 when the file cannot be created
// or replaced or any write or the close fails (an earlier file of that name
// then stays as it was). Scalar values that are not finite are stored as
// the lowest float ("no value"). A scalar whose name has no encoding or an
// encoding of 256 characters or more, or that does not hold a value per
// node, is left out of header and data alike, with a message.
int write_ply(const std::string& file_name, const std::string& name, int32_t num_nodes,
              const Vec3* nodes, int32_t num_triangles, const TriangleRecord* triangles,
              const std::vector<Scalar>& scalars);

// The same for an object as it is (not its full mesh).
int write_ply(const std::string& file_name, const Object& object);

}  // namespace Tavrin
