#include "io/ply_block_reader.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <optional>

#include "base/group_digits.h"
#include "base/messages.h"
#include "io/ply_reader.h"
#include "io/ply_sources.h"

namespace Tavrin {

using namespace ply_detail;

namespace {

constexpr int64_t kMaxCount = std::numeric_limits<int32_t>::max();
// Bytes read at a time while walking list records.
constexpr size_t kWalkBytes = size_t{4} << 20;

// A checksum of bytes, mixed into h: eight bytes per multiply. It finds
// changes, it is no defence against a file built to collide (the size and
// time checks are).
uint64_t add_sum(uint64_t h, const void* data, size_t bytes) {
  constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
  const char* p = static_cast<const char*>(data);
  h ^= bytes * kMul;
  for (; bytes >= 8; p += 8, bytes -= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    h = (std::rotl(h, 23) ^ w) * kMul;
  }
  uint64_t w = 0;
  if (bytes > 0) std::memcpy(&w, p, bytes);  // p may be null for no bytes
  h = (std::rotl(h, 23) ^ w) * kMul;
  return h ^ (h >> 31);
}

uint64_t block_sum(const PlyFaceBlock& b) {
  uint64_t h = add_sum(0, &b.skipped, sizeof b.skipped);
  h = add_sum(h, b.lines.data(), b.lines.size() * sizeof(int32_t));
  h = add_sum(h, b.triangles.data(), b.triangles.size() * sizeof(int32_t));
  return add_sum(h, b.quads.data(), b.quads.size() * sizeof(int32_t));
}

}  // namespace

PlyBlockReader::~PlyBlockReader() {
  if (fd_ >= 0) ::close(fd_);
}

bool PlyBlockReader::fail(std::string text) {
  error_ = std::move(text);
  return false;
}

std::string changed_file_message(const std::string& path) {
  return format("'%s' changed while it was being read.", path.c_str());
}

std::string not_enough_memory(const std::string& what, uint64_t bytes) {
  // Only the figure is grouped: a path may hold digits.
  return format("Not enough memory to %s (", what.c_str()) +
         group_digits_text(
             format("%.1f MB needed).", static_cast<double>(bytes) / (1024.0 * 1024.0)), 64);
}

bool PlyBlockReader::fail_changed() {
  changed_ = true;
  return fail(changed_file_message(path_));
}

bool PlyBlockReader::unchanged() {
  struct stat st;
  if (fstat(fd_, &st) != 0 || st.st_size != opened_.st_size ||
      st.st_mtim.tv_sec != opened_.st_mtim.tv_sec ||
      st.st_mtim.tv_nsec != opened_.st_mtim.tv_nsec ||
      st.st_ctim.tv_sec != opened_.st_ctim.tv_sec || st.st_ctim.tv_nsec != opened_.st_ctim.tv_nsec)
    return fail_changed();
  return true;
}

int64_t PlyBlockReader::num_face_records() const {
  return face_ >= 0 ? header_.elements()[face_].count : 0;
}

bool PlyBlockReader::read_bytes(uint64_t offset, size_t bytes, char* into) {
  while (bytes > 0) {
    const ssize_t got = pread(fd_, into, bytes, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0)
      return fail(format("Unable to read file '%s': %s", path_.c_str(),
                         got < 0 ? strerror(errno) : "unexpected end of file"));
    into += got;
    offset += static_cast<uint64_t>(got);
    bytes -= static_cast<size_t>(got);
  }
  return true;
}

bool PlyBlockReader::open(const std::string& path) {
  path_ = path;
  if (!header_.open_header(path)) return fail(header_.error());
  if (header_.storage() == PlyStorage::Ascii) {
    streamable_ = false;
    return fail("The file is ascii PLY: only binary PLY files can be streamed");
  }
  const std::vector<PlyElement>& elements = header_.elements();
  for (size_t i = 0; i < elements.size() && vertex_ < 0; ++i)
    if (strcasecmp(elements[i].name.c_str(), "vertex") == 0 && elements[i].count != 0)
      vertex_ = static_cast<int>(i);
  if (vertex_ < 0) return fail(kNoVertexElement);
  const PlyElement& ve = elements[vertex_];
  if (ve.count > kMaxCount) return fail(too_many_nodes_text(ve.name, ve.count));
  num_nodes_ = ve.count;
  bool have[3] = {false, false, false};
  size_t offset = 0;
  bool has_list = false;
  for (const PlyProperty& p : ve.properties) {
    if (p.is_list) {
      has_list = true;
      continue;
    }
    const int axis = p.name == "x" ? 0 : p.name == "y" ? 1 : p.name == "z" ? 2 : -1;
    int field = -1;
    if (axis >= 0) {
      have[axis] = true;
    } else {
      field = static_cast<int>(field_names_.size());
      std::optional<std::string> decoded = decode_property_name(p.name);
      field_names_.push_back(decoded ? *decoded : p.name);
    }
    columns_.push_back({offset, p.type, axis, field});
    offset += ply_type_size(p.type);
  }
  vertex_record_ = offset;
  for (int axis = 0; axis < 3; ++axis)
    if (!have[axis]) return fail(missing_axis_text(ve.name, axis));
  if (has_list) {
    streamable_ = false;
    return fail("The vertex records hold lists: only fixed-size vertex records can be streamed");
  }

  for (size_t i = 0; i < elements.size(); ++i)
    if (elements[i].name == "face") {
      const int list = elements[i].find("vertex_indices");
      if (list >= 0) {
        face_ = static_cast<int>(i);
        face_list_ = list;
      }
      break;
    }
  if (face_ >= 0 && !elements[face_].properties[face_list_].is_list) return fail(kFaceListNotAList);

  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return fail(format("Unable to open file '%s': %s", path.c_str(), strerror(errno)));
  if (fstat(fd_, &opened_) != 0)
    return fail(format("Unable to open file '%s': %s", path.c_str(), strerror(errno)));
  file_bytes_ = static_cast<uint64_t>(opened_.st_size);
  // Where the vertex and face records start: every element before the later
  // of the two is passed over by its size, with load_ply's checks.
  const size_t last = static_cast<size_t>(std::max(vertex_, face_));
  uint64_t at = header_.body_offset();
  for (size_t i = 0; i <= last; ++i) {
    if (static_cast<int>(i) == vertex_) vertex_offset_ = at;
    if (static_cast<int>(i) == face_) face_offset_ = at;
    if (i == last) break;
    if (!pass_elements(i, i + 1, at)) return false;
  }
  if (static_cast<int>(last) == vertex_) {
    uint64_t end = vertex_offset_;
    return pass_elements(last, last + 1, end);
  }
  return true;
}

bool PlyBlockReader::pass_elements(size_t from, size_t to, uint64_t& offset) {
  const std::vector<PlyElement>& elements = header_.elements();
  for (size_t e = from; e < to && e < elements.size(); ++e) {
    const PlyElement& el = elements[e];
    bool fixed = true;
    uint64_t record = 0;
    for (const PlyProperty& p : el.properties) {
      fixed = fixed && !p.is_list;
      record += ply_type_size(p.type);
    }
    if (!fixed) {
      uint64_t bytes = 0;
      try {
        if (!walk_faces(e, 0, nullptr, offset, &bytes)) return false;
      } catch (const std::bad_alloc&) {
        return fail(not_enough_memory(format("read the file '%s'", path_.c_str()),
                                      2 * static_cast<uint64_t>(buffer_.size())));
      }
      offset += bytes;
      continue;
    }
    const uint64_t left = file_bytes_ - std::min(file_bytes_, offset);
    if (record != 0 && static_cast<uint64_t>(el.count) > left / record)
      return fail(element_cut_text(el.name, static_cast<int64_t>(left / record), el.count));
    offset += record * static_cast<uint64_t>(el.count);
  }
  return true;
}

bool PlyBlockReader::check_rest() {
  const size_t last = static_cast<size_t>(std::max(vertex_, face_));
  uint64_t at = face_end_;
  if (static_cast<int>(last) == vertex_)
    at = vertex_offset_ + static_cast<uint64_t>(num_nodes_) * vertex_record_;
  else if (face_end_ == 0)
    return fail("Invalid arguments: the faces were not read");
  return pass_elements(last + 1, header_.elements().size(), at) && unchanged();
}

bool PlyBlockReader::read_vertices(int64_t first, int64_t count, float* xyz, float* const* fields) {
  if (first < 0 || count < 0 || first + count > num_nodes_) return fail("Invalid node range");
  if (count == 0) return true;
  const size_t bytes = static_cast<size_t>(count) * vertex_record_;
  try {
    if (buffer_.size() < bytes) buffer_.resize(bytes);
  } catch (const std::bad_alloc&) {
    return fail(not_enough_memory(format("read the vertices of '%s'", path_.c_str()), bytes));
  }
  if (!read_bytes(vertex_offset_ + static_cast<uint64_t>(first) * vertex_record_, bytes,
                  buffer_.data()))
    return unchanged() && false;
  // The first read of a range sets its checksum, every later one must match.
  const std::pair<int64_t, uint64_t> sum(count, add_sum(0, buffer_.data(), bytes));
  const auto [seen, first_read] = vertex_sums_.try_emplace(first, sum);
  if (!first_read && seen->second != sum) return fail_changed();
  if (!unchanged()) return false;
  const char* base = buffer_.data();
  const size_t record = vertex_record_;
  const bool swap = swap_needed(header_.storage());
  for (const Column& c : columns_) {
    float* dest = nullptr;
    size_t stride = 1;
    if (c.axis >= 0 && xyz) {
      dest = xyz + c.axis;
      stride = 3;
    } else if (c.field >= 0 && fields && fields[c.field]) {
      dest = fields[c.field];
    }
    if (!dest) continue;
    const char* src = base + c.offset;
    auto convert = [&]<bool Swap>() {
      with_type(c.type, [&]<class T>() {
        for (int64_t i = 0; i < count; ++i)
          dest[i * stride] = static_cast<float>(load<T, Swap>(src + i * record));
        return 0;
      });
    };
    if (swap)
      convert.template operator()<true>();
    else
      convert.template operator()<false>();
  }
  return true;
}

bool PlyBlockReader::read_faces(int64_t block,
                                const std::function<bool(const PlyFaceBlock&)>& visit) {
  if (face_ < 0) return true;
  if (!unchanged()) return false;
  block = std::max<int64_t>(1, block);
  const bool verify = face_sums_block_ == block, record = face_sums_block_ == 0;
  if (record) face_sums_.clear();
  size_t index = 0;
  bool differs = false, stopped = false;
  const std::function<bool(const PlyFaceBlock&)> checked = [&](const PlyFaceBlock& b) {
    const uint64_t sum = block_sum(b);
    if (verify && (index >= face_sums_.size() || face_sums_[index] != sum)) {
      differs = true;
      return false;
    }
    if (record) face_sums_.push_back(sum);
    ++index;
    stopped = !visit(b);
    return !stopped;
  };
  bool ok = false;
  try {
    ok = walk_faces(static_cast<size_t>(face_), block, &checked, face_offset_, nullptr);
  } catch (const std::bad_alloc&) {
    // The read buffer and a block's lists (at most 4 entries per face).
    const uint64_t need =
        std::max<uint64_t>(buffer_.size(), kWalkBytes) + 16 * static_cast<uint64_t>(block);
    return fail(not_enough_memory(format("read the faces of '%s'", path_.c_str()), need));
  }
  if (record) {
    if (ok)
      face_sums_block_ = block;
    else
      face_sums_.clear();
  }
  // A walk that the first one passed cannot fail on its own or end early
  // unless the file changed.
  if (differs || (verify && ((!ok && !stopped) || (ok && index != face_sums_.size()))))
    return fail_changed();
  if (!unchanged()) return false;
  return ok;
}

// One walk over the records of a list element: the window of the file in
// buffer_ (buffer_[0] lies at file offset `start`; the bytes before `at` are
// parsed, those up to `filled` read) and the block being collected.
struct PlyBlockReader::FaceWalk {
  FaceWalk(const PlyElement& element, bool collect, size_t list_property, int64_t block_faces,
           const std::function<bool(const PlyFaceBlock&)>* visitor, uint64_t offset)
      : el(element),
        capture(collect),
        list(list_property),
        block(block_faces),
        visit(visitor),
        start(offset) {}

  const PlyElement& el;
  bool capture;  // whether the face lists are collected
  size_t list;   // the property collected (the property count when none)
  int64_t block;
  const std::function<bool(const PlyFaceBlock&)>* visit;
  uint64_t start;
  size_t filled = 0, at = 0;
  PlyFaceBlock out;
  int64_t in_block = 0;

  // Hands the block collected so far over; false when the visitor said stop.
  bool flush() {
    if (!capture || in_block == 0) return true;
    const bool go_on = (*visit)(out);
    out.first_face += in_block;
    out.first_line += static_cast<int64_t>(out.lines.size() / 2);
    out.first_triangle += static_cast<int64_t>(out.triangles.size() / 3);
    out.first_quad += static_cast<int64_t>(out.quads.size() / 4);
    out.lines.clear();
    out.triangles.clear();
    out.quads.clear();
    out.skipped = 0;
    in_block = 0;
    return go_on;
  }

  // One record's list: a line, a triangle, a quadrilateral (the first four
  // entries of a longer list) or a skipped record; the block is handed over
  // when full. False when the visitor said stop.
  bool add(const int32_t* entry, int64_t entries) {
    if (!capture) return true;
    if (entries == 2)
      out.lines.insert(out.lines.end(), entry, entry + 2);
    else if (entries == 3)
      out.triangles.insert(out.triangles.end(), entry, entry + 3);
    else if (entries >= 4)
      out.quads.insert(out.quads.end(), entry, entry + 4);
    else
      ++out.skipped;
    return ++in_block != block || flush();
  }
};

// Moves the walk's window on: keeps the unparsed tail and reads more, growing
// the buffer when one record fills it. 1 when bytes were added, 0 at the end
// of the file, -1 on a read error.
int PlyBlockReader::refill(FaceWalk& w) {
  if (w.at > 0) {
    std::memmove(buffer_.data(), buffer_.data() + w.at, w.filled - w.at);
    w.start += w.at;
    w.filled -= w.at;
    w.at = 0;
  } else if (w.filled == buffer_.size()) {
    buffer_.resize(2 * buffer_.size());
  }
  const uint64_t left = file_bytes_ - std::min(file_bytes_, w.start + w.filled);
  const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer_.size() - w.filled, left));
  if (want == 0) return 0;
  if (!read_bytes(w.start + w.filled, want, buffer_.data() + w.filled)) return -1;
  w.filled += want;
  return 1;
}

// The usual layout, lists alone with a one-byte count and 32-bit entries,
// parsed directly.
template <bool Swap>
bool PlyBlockReader::walk_listed_faces(FaceWalk& w) {
  const PlyProperty& prop = w.el.properties[0];
  const bool unsigned_entries = prop.type == PlyType::Uint32;
  for (int64_t r = 0; r < w.el.count; ++r) {
    size_t need = 1;
    while (w.filled - w.at < need ||
           w.filled - w.at < (need = 1 + 4 * static_cast<uint8_t>(buffer_[w.at]))) {
      const int more = refill(w);
      if (more < 0) return false;
      if (more == 0) return fail(property_cut_text(prop.name, w.el.name, r));
    }
    const char* p = buffer_.data() + w.at;
    const int entries = static_cast<uint8_t>(p[0]);
    int32_t entry[4];
    for (int j = 0; j < entries && j < 4; ++j) {
      const uint32_t u = load<uint32_t, Swap>(p + 1 + 4 * j);
      entry[j] = unsigned_entries && u > 0x7FFFFFFFu ? -1 : static_cast<int32_t>(u);
    }
    w.at += need;
    if (!w.add(entry, entries)) return false;
  }
  return true;
}

// Any layout: every property of every record parsed by its type, the
// collected list's first four entries kept.
bool PlyBlockReader::walk_any_faces(FaceWalk& w, bool swap) {
  const std::vector<PlyProperty>& props = w.el.properties;
  for (int64_t r = 0; r < w.el.count; ++r) {
    int32_t entry[4] = {0, 0, 0, 0};
    int64_t entries = 0;
    size_t failed_property = 0;
    Status status = Status::Ok;
    std::string why;
    for (;;) {
      const char* p = buffer_.data() + w.at;
      const char* end = buffer_.data() + w.filled;
      auto parse = [&]<bool Swap>() {
        BinarySource<Swap> src{p, end};
        for (size_t k = 0; k < props.size(); ++k) {
          const PlyProperty& prop = props[k];
          failed_property = k;
          if (!prop.is_list) {
            if ((status = src.skip(prop.type)) != Status::Ok) return;
            continue;
          }
          int64_t n = 0;
          if ((status = read_count(src, prop.count_type, n)) != Status::Ok) return;
          if (n < 0) {
            status = Status::Bad;
            why = kNegativeListLength;
            return;
          }
          if (k != w.list) {
            if ((status = src.skip_entries(prop.type, n)) != Status::Ok) return;
            continue;
          }
          entries = n;
          const int64_t kept = std::min<int64_t>(n, 4);
          for (int64_t j = 0; j < kept; ++j) {
            double v;
            if ((status = src.value(prop.type, v)) != Status::Ok) return;
            entry[j] = to_index(v);
          }
          if ((status = src.skip_entries(prop.type, n - kept)) != Status::Ok) return;
        }
        p = src.p;
      };
      if (swap)
        parse.template operator()<true>();
      else
        parse.template operator()<false>();
      if (status == Status::Ok) {
        w.at = static_cast<size_t>(p - buffer_.data());
        break;
      }
      if (status == Status::Bad)
        return fail(bad_value_text(props[failed_property].name, w.el.name, r,
                                   why.empty() ? kNotANumber : why));
      status = Status::Ok;
      const int more = refill(w);
      if (more < 0) return false;
      if (more == 0) return fail(property_cut_text(props[failed_property].name, w.el.name, r));
    }
    if (!w.add(entry, entries)) return false;
  }
  return true;
}

// Walks the records of element e from `offset`: with visit, the face lists
// are collected and handed over block by block; with bytes, the size of the
// records is measured. Records are parsed from a buffer refilled whenever
// the next record does not lie wholly in it.
bool PlyBlockReader::walk_faces(size_t e, int64_t block,
                                const std::function<bool(const PlyFaceBlock&)>* visit,
                                uint64_t offset, uint64_t* bytes) {
  const PlyElement& el = header_.elements()[e];
  const std::vector<PlyProperty>& props = el.properties;
  const bool capture = visit && static_cast<int>(e) == face_;
  FaceWalk w(el, capture, capture ? static_cast<size_t>(face_list_) : props.size(), block, visit,
             offset);
  if (buffer_.size() < kWalkBytes) buffer_.resize(kWalkBytes);
  const bool swap = swap_needed(header_.storage());
  const bool fast = capture && props.size() == 1 && props[0].count_type == PlyType::Uint8 &&
                    (props[0].type == PlyType::Int32 || props[0].type == PlyType::Uint32);
  bool ok;
  if (fast)
    ok = swap ? walk_listed_faces<true>(w) : walk_listed_faces<false>(w);
  else
    ok = walk_any_faces(w, swap);
  if (!ok) return false;
  if (bytes) *bytes = w.start + w.at - offset;
  if (capture) face_end_ = w.start + w.at;
  return w.flush();
}

}  // namespace Tavrin
