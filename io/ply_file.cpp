// PLY reading and writing. The reader keeps the whole file in memory; the
// body is converted element by element: fixed-size binary records column by
// column in typed loops, everything else by one record walker shared by the
// ascii and binary storages.
#include "io/ply_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <type_traits>

#include "base/messages.h"

namespace Tavrin {

namespace {

struct TypeName {
  const char* name;
  PlyType type;
};
constexpr TypeName kTypeNames[] = {
    {"char", PlyType::Int8},      {"int8", PlyType::Int8},       {"uchar", PlyType::Uint8},
    {"uint8", PlyType::Uint8},    {"short", PlyType::Int16},     {"int16", PlyType::Int16},
    {"ushort", PlyType::Uint16},  {"uint16", PlyType::Uint16},   {"int", PlyType::Int32},
    {"int32", PlyType::Int32},    {"uint", PlyType::Uint32},     {"uint32", PlyType::Uint32},
    {"float", PlyType::Float32},  {"float32", PlyType::Float32}, {"double", PlyType::Float64},
    {"float64", PlyType::Float64}};

bool parse_type(std::string_view text, PlyType& type) {
  for (const TypeName& t : kTypeNames)
    if (text == t.name) {
      type = t.type;
      return true;
    }
  return false;
}

bool is_integer(PlyType t) { return t != PlyType::Float32 && t != PlyType::Float64; }

template <class U>
U byte_swap(U u) {
  if constexpr (sizeof(U) == 2) return __builtin_bswap16(u);
  if constexpr (sizeof(U) == 4) return __builtin_bswap32(u);
  if constexpr (sizeof(U) == 8) return __builtin_bswap64(u);
  return u;
}

template <class T, bool Swap>
inline T load(const char* p) {
  if constexpr (!Swap || sizeof(T) == 1) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
  } else {
    using U = std::conditional_t<sizeof(T) == 2, uint16_t,
                                 std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>>;
    U u;
    std::memcpy(&u, p, sizeof u);
    u = byte_swap(u);
    T v;
    std::memcpy(&v, &u, sizeof v);
    return v;
  }
}

// Calls f.template operator()<T>() with the C type of a PLY type.
template <class F>
decltype(auto) with_type(PlyType type, F&& f) {
  switch (type) {
    case PlyType::Int8: return f.template operator()<int8_t>();
    case PlyType::Uint8: return f.template operator()<uint8_t>();
    case PlyType::Int16: return f.template operator()<int16_t>();
    case PlyType::Uint16: return f.template operator()<uint16_t>();
    case PlyType::Int32: return f.template operator()<int32_t>();
    case PlyType::Uint32: return f.template operator()<uint32_t>();
    case PlyType::Float32: return f.template operator()<float>();
    default: return f.template operator()<double>();
  }
}

// An index value as int32; anything that does not fit (NaN included) is -1.
inline int32_t to_index(double v) {
  return (v >= -2147483648.0 && v <= 2147483647.0) ? static_cast<int32_t>(v) : -1;
}

inline bool is_space(char c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\v' || c == '\f';
}

enum class Status { Ok, End, Bad };

// A list count read as a double; one beyond the 64-bit range (or not finite)
// cannot be converted and is bad input.
inline Status to_count(double v, int64_t& n) {
  if (!(std::fabs(v) < 9.0e18)) return Status::Bad;
  n = static_cast<int64_t>(v);
  return Status::Ok;
}

// Reads values of ascii bodies: one whitespace-separated token each.
struct AsciiSource {
  const char* p;
  const char* end;
  const char* token = nullptr;  // start of the last token read

  bool skip_to_token() {
    while (p < end && is_space(*p)) ++p;
    token = p;
    return p < end;
  }
  bool token_ends(const char* q) const { return q == end || is_space(*q); }

  Status value(PlyType type, double& v) {
    if (!skip_to_token()) return Status::End;
    const char* q = p;
    if (*q == '+' && q + 1 < end && q[1] != '-') ++q;
    if (is_integer(type)) {
      int64_t i = 0;
      auto [ptr, ec] = std::from_chars(q, end, i);
      if (ec != std::errc() || !token_ends(ptr)) return Status::Bad;
      v = static_cast<double>(i);
      p = ptr;
    } else {
      auto [ptr, ec] = std::from_chars(q, end, v);
      if (ec == std::errc::result_out_of_range) {
        // Past the double range: keep the sign, the value is not finite.
        v = (*q == '-') ? -HUGE_VAL : HUGE_VAL;
      } else if (ec != std::errc()) {
        return Status::Bad;
      }
      if (!token_ends(ptr)) return Status::Bad;
      p = ptr;
    }
    return Status::Ok;
  }
  Status skip(PlyType) {
    if (!skip_to_token()) return Status::End;
    while (p < end && !is_space(*p)) ++p;
    return Status::Ok;
  }
  Status count(PlyType type, int64_t& n) {
    double v;
    Status s = value(type, v);
    return s == Status::Ok ? to_count(v, n) : s;
  }
  Status skip_entries(PlyType type, int64_t n) {
    for (int64_t j = 0; j < n; ++j)
      if (Status s = skip(type); s != Status::Ok) return s;
    return Status::Ok;
  }
  std::string token_text() const {
    const char* q = token;
    while (q < end && !is_space(*q) && q - token < 40) ++q;
    return std::string(token, q);
  }
};

// Reads values of binary bodies in either byte order.
template <bool Swap>
struct BinarySource {
  const char* p;
  const char* end;

  Status value(PlyType type, double& v) {
    size_t n = ply_type_size(type);
    if (static_cast<size_t>(end - p) < n) return Status::End;
    v = with_type(type, [&]<class T>() { return static_cast<double>(load<T, Swap>(p)); });
    p += n;
    return Status::Ok;
  }
  Status skip(PlyType type) {
    size_t n = ply_type_size(type);
    if (static_cast<size_t>(end - p) < n) return Status::End;
    p += n;
    return Status::Ok;
  }
  Status count(PlyType type, int64_t& n) {
    double v;
    Status s = value(type, v);
    return s == Status::Ok ? to_count(v, n) : s;
  }
  Status skip_entries(PlyType type, int64_t n) {
    if (static_cast<uint64_t>(n) > static_cast<uint64_t>(end - p) / ply_type_size(type))
      return Status::End;
    p += n * ply_type_size(type);
    return Status::Ok;
  }
  std::string token_text() const { return std::string(); }
};

// Where and why a record walk stopped.
struct WalkResult {
  Status status = Status::Ok;
  int64_t instance = 0;
  size_t property = 0;
  const char* why = "";
};

// Appends one list of `n` entries to the matching array of `faces`.
template <class Source>
Status read_face(Source& src, PlyType entry_type, int64_t n, PlyFaceLists& faces) {
  if (n < 2) {
    ++faces.skipped;
    return src.skip_entries(entry_type, n);
  }
  if (n == 3 && faces.triangle_dest) {
    int32_t* dst = faces.triangle_dest + faces.num_dest_triangles * faces.triangle_stride;
    for (int j = 0; j < 3; ++j) {
      double v;
      if (Status s = src.value(entry_type, v); s != Status::Ok) return s;
      dst[j] = to_index(v);
    }
    ++faces.num_dest_triangles;
    return Status::Ok;
  }
  std::vector<int32_t>& dst = n == 2 ? faces.lines : (n == 3 ? faces.triangles : faces.quads);
  int64_t stored = n < 4 ? n : 4;
  size_t base = dst.size();
  dst.resize(base + stored);
  for (int64_t j = 0; j < stored; ++j) {
    double v;
    if (Status s = src.value(entry_type, v); s != Status::Ok) {
      dst.resize(base);
      return s;
    }
    dst[base + j] = to_index(v);
  }
  return src.skip_entries(entry_type, n - stored);
}

// Walks `count` records of an element starting at `first`, storing requested
// scalar columns and sorting the lists of `list_property` into `faces`.
template <class Source>
WalkResult walk_records(Source& src, const PlyElement& e, int64_t first, int64_t count,
                        const PlyColumn* columns, size_t list_property, PlyFaceLists* faces) {
  WalkResult r;
  const size_t np = e.properties.size();
  for (int64_t i = first; i < first + count; ++i) {
    for (size_t k = 0; k < np; ++k) {
      const PlyProperty& prop = e.properties[k];
      Status s;
      if (!prop.is_list) {
        if (columns && columns[k].dest) {
          double v;
          s = src.value(prop.type, v);
          if (s == Status::Ok) columns[k].dest[i * columns[k].stride] = static_cast<float>(v);
        } else {
          s = src.skip(prop.type);
        }
      } else {
        int64_t n = 0;
        s = src.count(prop.count_type, n);
        if (s == Status::Ok && n < 0) {
          r = {Status::Bad, i, k, "negative list length"};
          return r;
        }
        if (s == Status::Ok) {
          if (faces && k == list_property)
            s = read_face(src, prop.type, n, *faces);
          else
            s = src.skip_entries(prop.type, n);
        }
      }
      if (s != Status::Ok) {
        r = {s, i, k, s == Status::Bad ? "not a number of its type" : ""};
        return r;
      }
    }
  }
  return r;
}

// Converts several columns of one type in a single pass over the records.
template <class T, bool Swap>
void convert_columns(const char* base, size_t record, int64_t n, const size_t* offsets,
                     float* const* dests, const size_t* strides, size_t count) {
#pragma omp parallel for schedule(static) if (n > 262144)
  for (int64_t i = 0; i < n; ++i) {
    const char* r = base + i * record;
    for (size_t c = 0; c < count; ++c)
      dests[c][i * strides[c]] = static_cast<float>(load<T, Swap>(r + offsets[c]));
  }
}

// Triangles stored as 13-byte records (uchar 3, three 32-bit indices) are
// copied directly; any other record goes through the record walker. The
// leading run of such records, usually the whole element, is converted in
// parallel: record i is triangle i there. From the first other record on,
// the records are walked one by one.
template <class T, bool Swap>
WalkResult convert_triangle_records(BinarySource<Swap>& src, const PlyElement& e,
                                    PlyFaceLists& out) {
  constexpr size_t kRecord = 1 + 3 * sizeof(T);
  const int64_t n = e.count;
  const int64_t room = std::min<int64_t>(n, static_cast<int64_t>((src.end - src.p) / kRecord));
  const size_t stride = out.triangle_stride;
  auto store = [](int32_t* d, const char* p) {
    for (size_t c = 0; c < 3; ++c) {
      // Entries above the int32 range (uint) become -1 like everywhere else.
      int32_t v = static_cast<int32_t>(load<T, Swap>(p + 1 + c * sizeof(T)));
      d[c] = std::is_signed_v<T> || v >= 0 ? v : -1;
    }
  };

  const char* const start = src.p;
  int32_t* const dest = out.triangle_dest + out.num_dest_triangles * stride;
  int64_t first_other = room;
#pragma omp parallel for schedule(static) reduction(min : first_other) if (room > 65536)
  for (int64_t i = 0; i < room; ++i) {
    const char* p = start + i * kRecord;
    if (static_cast<uint8_t>(*p) != 3) {
      if (i < first_other) first_other = i;
      continue;
    }
    store(dest + i * stride, p);
  }
  out.num_dest_triangles += first_other;
  src.p = start + first_other * static_cast<int64_t>(kRecord);

  for (int64_t i = first_other; i < n;) {
    const char* p = src.p;
    if (static_cast<size_t>(src.end - p) >= kRecord && static_cast<uint8_t>(*p) == 3) {
      store(out.triangle_dest + out.num_dest_triangles * stride, p);
      ++out.num_dest_triangles;
      src.p += kRecord;
      ++i;
      continue;
    }
    WalkResult r = walk_records(src, e, i, 1, nullptr, 0, &out);
    if (r.status != Status::Ok) return r;
    ++i;
  }
  return WalkResult();
}

// The same into out.triangles when the caller gave no destination: room for
// the most triangles the remaining bytes can hold, trimmed afterwards.
template <class T, bool Swap>
WalkResult read_triangle_records(BinarySource<Swap>& src, const PlyElement& e, PlyFaceLists& out) {
  if (out.triangle_dest) return convert_triangle_records<T, Swap>(src, e, out);
  constexpr size_t kRecord = 1 + 3 * sizeof(T);
  const int64_t room =
      std::min<int64_t>(e.count, static_cast<int64_t>((src.end - src.p) / kRecord));
  const size_t base = out.triangles.size();
  out.triangles.reserve(base + 3 * static_cast<size_t>(room));
  advise_huge_pages(out.triangles.data(), out.triangles.capacity() * sizeof(int32_t));
  out.triangles.resize(base + 3 * static_cast<size_t>(room));
  out.triangle_dest = out.triangles.data() + base;
  out.triangle_stride = 3;
  out.num_dest_triangles = 0;
  WalkResult r = convert_triangle_records<T, Swap>(src, e, out);
  out.triangles.resize(base + 3 * static_cast<size_t>(out.num_dest_triangles));
  out.triangle_dest = nullptr;
  out.num_dest_triangles = 0;
  return r;
}

bool swap_needed(PlyStorage s) {
  bool big = std::endian::native == std::endian::big;
  return (s == PlyStorage::BinaryBigEndian) != big;
}

}  // namespace

void advise_huge_pages(const void* data, size_t bytes) {
  constexpr uintptr_t kHuge = 2u << 20;
  uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
  uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kHuge - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

size_t ply_type_size(PlyType type) {
  switch (type) {
    case PlyType::Int8:
    case PlyType::Uint8: return 1;
    case PlyType::Int16:
    case PlyType::Uint16: return 2;
    case PlyType::Int32:
    case PlyType::Uint32:
    case PlyType::Float32: return 4;
    default: return 8;
  }
}

int PlyElement::find(const std::string& property_name) const {
  for (size_t k = 0; k < properties.size(); ++k)
    if (properties[k].name == property_name) return static_cast<int>(k);
  return -1;
}

// ---------------------------------------------------------------- reading

PlyFile::PlyFile(PlyErrorCallback on_error) : on_error_(std::move(on_error)) {}

bool PlyFile::fail(const std::string& text) {
  error_ = text;
  if (on_error_) on_error_(text);
  return false;
}

bool PlyFile::fail_value(const PlyElement& e, const PlyProperty& p, int64_t instance,
                         const std::string& why) {
  return fail(format("Error reading '%s' of '%s' number %lld%s%s", p.name.c_str(), e.name.c_str(),
                     static_cast<long long>(instance), why.empty() ? "" : ": ", why.c_str()));
}

bool PlyFile::open(const std::string& path) {
  close();
  // Non-blocking, so that a FIFO without a writer cannot stall the open.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return fail(format("Unable to open file '%s': %s", path.c_str(), strerror(errno)));
  struct stat st;
  if (fstat(fd, &st) != 0) {
    int err = errno;
    ::close(fd);
    return fail(format("Unable to open file '%s': %s", path.c_str(), strerror(err)));
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(fd);
    return fail(format("Unable to open file '%s': it is a directory", path.c_str()));
  }
  // Devices, pipes and sockets can be endless or never answer: only regular
  // files are read.
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return fail(format("Unable to open file '%s': not a regular file", path.c_str()));
  }
  if (st.st_size == 0) {
    ::close(fd);
    data_ = "";
    size_ = 0;
    return true;
  }
  // The file is mapped: the page cache is used in place, no copy.
  void* map = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE,
                   fd, 0);
  int err = errno;
  ::close(fd);
  if (map == MAP_FAILED)
    return fail(format("Unable to read file '%s': %s", path.c_str(), strerror(err)));
  madvise(map, static_cast<size_t>(st.st_size), MADV_SEQUENTIAL);
  mapped_ = map;
  data_ = static_cast<const char*>(map);
  size_ = static_cast<size_t>(st.st_size);
  return true;
}

void PlyFile::close() {
  if (mapped_) munmap(mapped_, size_);
  mapped_ = nullptr;
  data_ = nullptr;
  size_ = pos_ = 0;
  header_done_ = false;
  elements_.clear();
  comments_.clear();
  next_element_ = 0;
}

bool PlyFile::read_header() {
  if (!data_) return fail("Invalid arguments");
  const char* p = data_;
  const char* const end = p + size_;
  if (size_ < 3) return fail("Unable to read magic number from file");
  if (std::memcmp(p, "ply", 3) != 0) return fail("Wrong magic number. Expected 'ply'");

  int line_number = 0;
  std::string_view line;
  auto next_line = [&]() {
    if (p >= end) return false;
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', end - p));
    const char* le = nl ? nl : end;
    line = std::string_view(p, le - p);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    p = nl ? nl + 1 : end;
    ++line_number;
    return true;
  };
  std::string_view tokens[6];
  auto split = [&]() {
    size_t n = 0, i = 0;
    while (i < line.size() && n < 6) {
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
      size_t s = i;
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
      if (i > s) tokens[n++] = line.substr(s, i - s);
    }
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    return i < line.size() ? n + 1 : n;  // n + 1: more tokens than kept
  };
  auto unexpected = [&](std::string_view token) {
    return fail(format("Unexpected token '%.*s' in header line %d", static_cast<int>(token.size()),
                       token.data(), line_number));
  };

  next_line();
  if (line != "ply") return fail("Wrong magic number. Expected 'ply'");

  bool have_format = false;
  for (;;) {
    if (!next_line()) return fail("Unexpected end of file: the header has no 'end_header'");
    size_t n = split();
    if (n == 0) continue;  // blank line
    std::string_view key = tokens[0];
    if (key == "comment" || key == "obj_info") {
      if (key == "comment") {
        std::string_view text = line.substr(line.find("comment") + 7);
        if (!text.empty() && (text[0] == ' ' || text[0] == '\t')) text.remove_prefix(1);
        comments_.emplace_back(text);
      }
      continue;
    }
    if (key == "end_header") {
      if (n != 1) return unexpected(tokens[1]);
      break;
    }
    if (key == "format") {
      if (have_format || n != 3 || tokens[2] != "1.0") return fail("Invalid file format");
      if (tokens[1] == "ascii")
        storage_ = PlyStorage::Ascii;
      else if (tokens[1] == "binary_little_endian")
        storage_ = PlyStorage::BinaryLittleEndian;
      else if (tokens[1] == "binary_big_endian")
        storage_ = PlyStorage::BinaryBigEndian;
      else
        return fail("Invalid file format");
      have_format = true;
      continue;
    }
    if (!have_format) return fail("Invalid file format");
    if (key == "element") {
      if (n != 3) return unexpected(n > 3 ? tokens[3] : key);
      PlyElement e;
      e.name = tokens[1];
      auto [ptr, ec] = std::from_chars(tokens[2].data(), tokens[2].data() + tokens[2].size(), e.count);
      if (ec != std::errc() || ptr != tokens[2].data() + tokens[2].size() || e.count < 0)
        return fail(format("Invalid instance count '%.*s' of element '%s' in header line %d",
                           static_cast<int>(tokens[2].size()), tokens[2].data(), e.name.c_str(),
                           line_number));
      elements_.push_back(std::move(e));
      continue;
    }
    if (key == "property") {
      if (elements_.empty()) return unexpected(key);
      PlyProperty prop;
      if (n >= 2 && tokens[1] == "list") {
        if (n != 5) return unexpected(n > 5 ? tokens[5] : key);
        if (!parse_type(tokens[2], prop.count_type) || !is_integer(prop.count_type))
          return unexpected(tokens[2]);
        if (!parse_type(tokens[3], prop.type)) return unexpected(tokens[3]);
        prop.is_list = true;
        prop.name = tokens[4];
      } else {
        if (n != 3) return unexpected(n > 3 ? tokens[3] : key);
        if (!parse_type(tokens[1], prop.type)) return unexpected(tokens[1]);
        prop.name = tokens[2];
      }
      elements_.back().properties.push_back(std::move(prop));
      continue;
    }
    return unexpected(key);
  }
  if (!have_format) return fail("Invalid file format");
  pos_ = static_cast<size_t>(p - data_);
  header_done_ = true;
  return check_sizes();
}

// Every instance needs at least its fixed bytes (binary) or one token per
// property (ascii, where n tokens take at least 2n - 1 bytes). A count that
// cannot fit the body is refused before anything is allocated for it.
bool PlyFile::check_sizes() {
  const unsigned __int128 body = size_ - pos_;
  unsigned __int128 need = 0;
  for (const PlyElement& e : elements_) {
    uint64_t per_instance = 0;
    for (const PlyProperty& p : e.properties) {
      if (storage_ == PlyStorage::Ascii)
        per_instance += 2;
      else
        per_instance += ply_type_size(p.is_list ? p.count_type : p.type);
    }
    need += static_cast<unsigned __int128>(e.count) * per_instance;
    bool fits = storage_ == PlyStorage::Ascii ? need <= body + 1 : need <= body;
    if (!fits)
      return fail(format("Unexpected end of file: element '%s' declares %lld instances, more "
                         "than the %llu bytes after the header can hold",
                         e.name.c_str(), static_cast<long long>(e.count),
                         static_cast<unsigned long long>(size_ - pos_)));
  }
  return true;
}

int64_t PlyFile::most_triangles(size_t element, size_t list_property) const {
  if (element >= elements_.size()) return 0;
  const PlyElement& e = elements_[element];
  if (list_property >= e.properties.size()) return 0;
  const PlyProperty& p = e.properties[list_property];
  // n ascii triangles take 8n - 1 bytes at least: the last needs no separator.
  const bool ascii = storage_ == PlyStorage::Ascii;
  const size_t smallest = ascii ? 8 : ply_type_size(p.count_type) + 3 * ply_type_size(p.type);
  const size_t bytes = size_ - pos_ + (ascii ? 1 : 0);
  return std::min<int64_t>(e.count, static_cast<int64_t>(bytes / smallest));
}

bool PlyFile::begin_element(const char* what) {
  if (!header_done_) return fail(format("Invalid arguments: %s before the header", what));
  if (next_element_ >= elements_.size())
    return fail(format("Invalid arguments: %s past the last element", what));
  return true;
}

bool PlyFile::skip_element() {
  if (!begin_element("skip")) return false;
  return read_columns(nullptr);
}

bool PlyFile::read_columns(const PlyColumn* columns) {
  if (!begin_element("read")) return false;
  const PlyElement& e = elements_[next_element_];
  // Instances without properties take no bytes and no tokens, however many.
  if (e.properties.empty()) {
    ++next_element_;
    return true;
  }
  bool fixed = true;
  for (const PlyProperty& p : e.properties) fixed = fixed && !p.is_list;
  if (storage_ != PlyStorage::Ascii && fixed) return read_binary_columns(columns);
  if (storage_ == PlyStorage::Ascii) return read_ascii(columns, 0, nullptr);
  return read_binary_generic(columns, 0, nullptr);
}

bool PlyFile::read_faces(size_t list_property, PlyFaceLists& out) {
  if (!begin_element("read")) return false;
  const PlyElement& e = elements_[next_element_];
  if (list_property >= e.properties.size() || !e.properties[list_property].is_list)
    return fail("Invalid arguments: not a list property");
  if (storage_ == PlyStorage::Ascii) return read_ascii(nullptr, list_property, &out);
  const PlyProperty& p = e.properties[list_property];
  bool fast = e.properties.size() == 1 && ply_type_size(p.count_type) == 1 &&
              (p.type == PlyType::Int32 || p.type == PlyType::Uint32);
  if (fast) return read_binary_triangles(list_property, out);
  return read_binary_generic(nullptr, list_property, &out);
}

bool PlyFile::read_binary_columns(const PlyColumn* columns) {
  const PlyElement& e = elements_[next_element_];
  size_t record = 0;
  for (const PlyProperty& p : e.properties) record += ply_type_size(p.type);
  const size_t remaining = size_ - pos_;
  if (record != 0 && static_cast<uint64_t>(e.count) > remaining / record) {
    int64_t complete = static_cast<int64_t>(remaining / record);
    return fail(format("Unexpected end of file while reading '%s' number %lld of %lld",
                       e.name.c_str(), static_cast<long long>(complete),
                       static_cast<long long>(e.count)));
  }
  const char* base = data_ + pos_;
  const bool swap = swap_needed(storage_);
  // Requested columns grouped by type: one pass over the records per type.
  std::vector<size_t> offsets, strides;
  std::vector<float*> dests;
  for (int t = 0; t <= static_cast<int>(PlyType::Float64); ++t) {
    offsets.clear();
    strides.clear();
    dests.clear();
    size_t offset = 0;
    for (size_t k = 0; k < e.properties.size(); ++k) {
      const PlyProperty& p = e.properties[k];
      if (columns && columns[k].dest && static_cast<int>(p.type) == t) {
        offsets.push_back(offset);
        dests.push_back(columns[k].dest);
        strides.push_back(columns[k].stride);
      }
      offset += ply_type_size(p.type);
    }
    if (dests.empty()) continue;
    with_type(static_cast<PlyType>(t), [&]<class T>() {
      if (swap)
        convert_columns<T, true>(base, record, e.count, offsets.data(), dests.data(),
                                 strides.data(), dests.size());
      else
        convert_columns<T, false>(base, record, e.count, offsets.data(), dests.data(),
                                  strides.data(), dests.size());
    });
  }
  pos_ += record * static_cast<size_t>(e.count);
  ++next_element_;
  return true;
}

bool PlyFile::read_ascii(const PlyColumn* columns, size_t list_property, PlyFaceLists* faces) {
  const PlyElement& e = elements_[next_element_];
  AsciiSource src{data_ + pos_, data_ + size_};
  WalkResult r = walk_records(src, e, 0, e.count, columns, list_property, faces);
  if (r.status == Status::End)
    return fail(format("Unexpected end of file while reading '%s' of '%s' number %lld",
                       e.properties[r.property].name.c_str(), e.name.c_str(),
                       static_cast<long long>(r.instance)));
  if (r.status == Status::Bad)
    return fail_value(e, e.properties[r.property], r.instance,
                      format("'%s' is %s", src.token_text().c_str(), r.why));
  pos_ = static_cast<size_t>(src.p - data_);
  ++next_element_;
  return true;
}

bool PlyFile::read_binary_generic(const PlyColumn* columns, size_t list_property,
                                  PlyFaceLists* faces) {
  const PlyElement& e = elements_[next_element_];
  const char* p = data_ + pos_;
  const char* end = data_ + size_;
  WalkResult r;
  if (swap_needed(storage_)) {
    BinarySource<true> src{p, end};
    r = walk_records(src, e, 0, e.count, columns, list_property, faces);
    p = src.p;
  } else {
    BinarySource<false> src{p, end};
    r = walk_records(src, e, 0, e.count, columns, list_property, faces);
    p = src.p;
  }
  if (r.status == Status::End)
    return fail(format("Unexpected end of file while reading '%s' of '%s' number %lld",
                       e.properties[r.property].name.c_str(), e.name.c_str(),
                       static_cast<long long>(r.instance)));
  if (r.status == Status::Bad) return fail_value(e, e.properties[r.property], r.instance, r.why);
  pos_ = static_cast<size_t>(p - data_);
  ++next_element_;
  return true;
}

bool PlyFile::read_binary_triangles(size_t list_property, PlyFaceLists& out) {
  const PlyElement& e = elements_[next_element_];
  const PlyProperty& prop = e.properties[list_property];
  const char* p = data_ + pos_;
  const char* end = data_ + size_;
  WalkResult r;
  auto run = [&]<bool Swap>() {
    BinarySource<Swap> src{p, end};
    if (prop.type == PlyType::Int32)
      r = read_triangle_records<int32_t, Swap>(src, e, out);
    else
      r = read_triangle_records<uint32_t, Swap>(src, e, out);
    p = src.p;
  };
  if (swap_needed(storage_))
    run.template operator()<true>();
  else
    run.template operator()<false>();
  if (r.status == Status::End)
    return fail(format("Unexpected end of file while reading '%s' of '%s' number %lld",
                       prop.name.c_str(), e.name.c_str(), static_cast<long long>(r.instance)));
  if (r.status == Status::Bad) return fail_value(e, prop, r.instance, r.why);
  pos_ = static_cast<size_t>(p - data_);
  ++next_element_;
  return true;
}

// ---------------------------------------------------------------- writing

namespace {
constexpr size_t kWriteBuffer = 4 << 20;
}

PlyWriter::PlyWriter(PlyErrorCallback on_error) : on_error_(std::move(on_error)) {}

PlyWriter::~PlyWriter() {
  if (file_) std::fclose(file_);
}

bool PlyWriter::fail(const std::string& text) {
  failed_ = true;
  error_ = text;
  if (on_error_) on_error_(text);
  return false;
}

bool PlyWriter::create(const std::string& path) {
  if (file_) return fail("Invalid arguments");
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) return fail(format("Unable to create file '%s': %s", path.c_str(), strerror(errno)));
  header_ = "ply\nformat binary_little_endian 1.0\n";
  return true;
}

bool PlyWriter::valid_name(const std::string& name) {
  if (name.empty() || name.size() >= 256) return false;
  for (char c : name)
    if (is_space(c)) return false;
  return true;
}

bool PlyWriter::add_comment(const std::string& text) {
  if (!file_ || header_written_ || text.find_first_of("\r\n") != std::string::npos)
    return fail("Invalid arguments");
  header_ += "comment " + text + "\n";
  return true;
}

bool PlyWriter::add_element(const std::string& name, int64_t count) {
  if (!file_ || header_written_ || !valid_name(name) || count < 0) return fail("Invalid arguments");
  header_ += format("element %s %lld\n", name.c_str(), static_cast<long long>(count));
  have_element_ = true;
  return true;
}

bool PlyWriter::add_float_property(const std::string& name) {
  if (!file_ || header_written_ || !have_element_ || !valid_name(name))
    return fail("Invalid arguments");
  header_ += "property float " + name + "\n";
  return true;
}

bool PlyWriter::add_index_list_property(const std::string& name) {
  if (!file_ || header_written_ || !have_element_ || !valid_name(name))
    return fail("Invalid arguments");
  header_ += "property list uchar int " + name + "\n";
  return true;
}

bool PlyWriter::write_header() {
  if (!file_ || header_written_) return fail("Invalid arguments");
  header_ += "end_header\n";
  buffer_.reset(new (std::nothrow) char[kWriteBuffer]);
  if (!buffer_) return fail("Out of memory");
  header_written_ = true;
  if (std::fwrite(header_.data(), 1, header_.size(), file_) != header_.size())
    return fail(format("Error writing the header: %s", strerror(errno)));
  cur_ = buffer_.get();
  end_ = cur_ + kWriteBuffer;
  return true;
}

void PlyWriter::flush() {
  if (!buffer_) {
    // Values put before the header: nothing can be written.
    if (!failed_) fail("Invalid arguments: values before the header");
    static char scratch[64];
    cur_ = scratch;
    end_ = scratch + sizeof scratch;
    return;
  }
  size_t n = static_cast<size_t>(cur_ - buffer_.get());
  if (!failed_ && n && std::fwrite(buffer_.get(), 1, n, file_) != n)
    fail(format("Error writing values: %s", strerror(errno)));
  cur_ = buffer_.get();
}

bool PlyWriter::close() {
  if (!file_) return fail("Invalid arguments");
  if (!header_written_ && !failed_) write_header();
  if (buffer_) flush();
  if (!failed_ && std::fflush(file_) != 0) fail(format("Error writing values: %s", strerror(errno)));
  if (std::fclose(file_) != 0 && !failed_) fail(format("Error closing the file: %s", strerror(errno)));
  file_ = nullptr;
  buffer_.reset();
  cur_ = end_ = nullptr;
  return !failed_;
}

}  // namespace Tavrin
