// A small PLY library. Reading loads the whole file into memory, parses the
// header, and then converts the body element by element in bulk: a scalar
// property column goes straight into a float array in one typed loop, and an
// index-list property is sorted into lines, triangles and quadrilaterals with
// a fast path for the common all-triangle uchar-count binary layout. Elements
// nobody asks for are skipped by their exact byte size (binary) or token
// count (ascii). Writing is io/ply_writer.h's.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Tavrin {

enum class PlyStorage { Ascii, BinaryLittleEndian, BinaryBigEndian };
enum class PlyType : uint8_t { Int8, Uint8, Int16, Uint16, Int32, Uint32, Float32, Float64 };

// Size in bytes of one value of the type in binary storage.
size_t ply_type_size(PlyType type);

struct PlyProperty {
  std::string name;
  bool is_list = false;
  PlyType type = PlyType::Float32;      // the value type; for lists the entry type
  PlyType count_type = PlyType::Uint8;  // lists only
};

struct PlyElement {
  std::string name;
  int64_t count = 0;
  std::vector<PlyProperty> properties;

  // Index of the property of that name, or -1.
  int find(const std::string& property_name) const;
};

// Asks the kernel to back a large array with huge pages before it is first
// touched (fewer page faults while big bodies are converted).
void advise_huge_pages(const void* data, size_t bytes);

// Receives every error text as it is reported.
using PlyErrorCallback = std::function<void(const std::string&)>;

// Where one scalar property column goes: the value of instance i is stored,
// converted to float, at dest[i * stride]. A null dest skips the column.
struct PlyColumn {
  float* dest = nullptr;
  size_t stride = 1;
};

// The lists of one list property sorted by their length: 2 entries make a
// line, 3 a triangle, 4 or more a quadrilateral of the first four entries.
// Shorter lists are counted and otherwise ignored. Entries that do not fit an
// int32 are stored as -1.
struct PlyFaceLists {
  std::vector<int32_t> lines;      // 2 per line
  std::vector<int32_t> triangles;  // 3 per triangle, unless triangle_dest is set
  std::vector<int32_t> quads;      // 4 per quadrilateral
  int64_t skipped = 0;

  // When set, triangle k goes to triangle_dest[k * triangle_stride + 0..2]
  // instead of `triangles`, and num_dest_triangles counts them. The caller
  // provides room for one triangle per instance of the element (that is the
  // most there can be), so a reader can fill record arrays in place.
  int32_t* triangle_dest = nullptr;
  size_t triangle_stride = 3;
  int64_t num_dest_triangles = 0;
};

class PlyFile {
 public:
  explicit PlyFile(PlyErrorCallback on_error = {});
  ~PlyFile() { close(); }
  PlyFile(const PlyFile&) = delete;
  PlyFile& operator=(const PlyFile&) = delete;

  // Maps the whole file into memory (reads it when it cannot be mapped).
  bool open(const std::string& path);
  // Parses the header and checks that the declared counts fit the body.
  bool read_header();
  // Reads only the header of the file (io/ply_header_only.cpp) and parses it
  // as read_header does, against the file's full size; the body stays on
  // disk, so only the element layout is available afterwards (no body
  // reads). For readers that take the body in blocks.
  bool open_header(const std::string& path);
  // Byte offset of the body in the file, once a header is parsed.
  size_t body_offset() const { return pos_; }

  PlyStorage storage() const { return storage_; }
  const std::vector<PlyElement>& elements() const { return elements_; }
  const std::vector<std::string>& comments() const { return comments_; }

  // The body is read one element at a time in header order; each of the
  // three calls below consumes the element next_element().
  size_t next_element() const { return next_element_; }
  bool skip_element();
  // One entry per property of the element; list properties are skipped.
  bool read_columns(const PlyColumn* columns);
  // Sorts the lists of property `list_property` of the element into `out`.
  bool read_faces(size_t list_property, PlyFaceLists& out);

  // The most triangles the lists of that property can hold: its instance
  // count, bounded by the bytes left after the header (a triangle takes at
  // least its count and three entries in binary, four tokens in ascii).
  int64_t most_triangles(size_t element, size_t list_property) const;

  // Releases the file contents.
  void close();

  // The last error text reported (empty when none).
  const std::string& error() const { return error_; }

 private:
  struct Cursor;
  bool fail(const std::string& text);
  bool fail_value(const PlyElement& e, const PlyProperty& p, int64_t instance,
                  const std::string& why);
  bool check_sizes();
  bool begin_element(const char* what);
  bool read_ascii(const PlyColumn* columns, size_t list_property, PlyFaceLists* faces);
  bool read_binary_generic(const PlyColumn* columns, size_t list_property, PlyFaceLists* faces);
  bool read_binary_columns(const PlyColumn* columns);
  bool read_binary_triangles(size_t list_property, PlyFaceLists& out);

  PlyErrorCallback on_error_;
  std::string error_;
  const char* data_ = nullptr;
  size_t size_ = 0;
  void* mapped_ = nullptr;  // contents mapped from the file
  size_t pos_ = 0;          // read position in the body
  bool header_done_ = false;
  PlyStorage storage_ = PlyStorage::Ascii;
  std::vector<PlyElement> elements_;
  std::vector<std::string> comments_;
  size_t next_element_ = 0;
  std::string header_copy_;  // open_header's copy of the header bytes
};

}  // namespace Tavrin
