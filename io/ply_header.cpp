// Opening a PLY file and parsing its header: the file is mapped whole, the
// header lines are checked one by one, and the declared element counts are
// checked against the bytes of the body before anything is allocated.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "base/messages.h"
#include "io/ply_checks.h"
#include "io/ply_file.h"
#include "io/ply_sources.h"

namespace Tavrin {

using namespace ply_detail;

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
    case PlyType::Uint8:
      return 1;
    case PlyType::Int16:
    case PlyType::Uint16:
      return 2;
    case PlyType::Int32:
    case PlyType::Uint32:
    case PlyType::Float32:
      return 4;
    default:
      return 8;
  }
}

int PlyElement::find(const std::string& property_name) const {
  for (size_t k = 0; k < properties.size(); ++k)
    if (properties[k].name == property_name) return static_cast<int>(k);
  return -1;
}

PlyFile::PlyFile(PlyErrorCallback on_error) : on_error_(std::move(on_error)) {}

bool PlyFile::fail(const std::string& text) {
  error_ = text;
  if (on_error_) on_error_(text);
  return false;
}

bool PlyFile::fail_value(const PlyElement& e, const PlyProperty& p, int64_t instance,
                         const std::string& why) {
  return fail(bad_value_text(p.name, e.name, instance, why));
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
  // A file that is no PLY file is refused before it is mapped and read.
  char start[4] = {};
  const ssize_t got = st.st_size >= 3 ? pread(fd, start, 4, 0) : 0;
  if (got >= 3 && std::memcmp(start, "ply", 3) != 0) {
    ::close(fd);
    return fail(magic_number_error(std::string_view(start, static_cast<size_t>(got)),
                                   static_cast<size_t>(st.st_size)));
  }
  if (st.st_size == 0) {
    ::close(fd);
    data_ = "";
    size_ = 0;
    return true;
  }
  // The file is mapped: the page cache is used in place, no copy.
  void* map =
      mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
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
  if (std::string why = magic_number_error(std::string_view(p, std::min<size_t>(size_, 3)), size_);
      !why.empty())
    return fail(why);

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
  if (line != "ply") return fail(kWrongMagicNumber);

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
      auto [ptr, ec] =
          std::from_chars(tokens[2].data(), tokens[2].data() + tokens[2].size(), e.count);
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
      return fail(
          format("Unexpected end of file: element '%s' declares %lld instances, more "
                 "than the %llu bytes after the header can hold",
                 e.name.c_str(), static_cast<long long>(e.count),
                 static_cast<unsigned long long>(size_ - pos_)));
  }
  return true;
}

}  // namespace Tavrin
