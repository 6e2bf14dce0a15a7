// Converting the body of a PLY file element by element: fixed-size binary
// records column by column in typed loops, the common all-triangle face
// layout copied directly (in parallel), everything else by one record walker
// shared by the ascii and binary storages.
#include <algorithm>
#include <cstring>
#include <vector>

#include "base/messages.h"
#include "io/ply_file.h"
#include "io/ply_sources.h"

namespace Tavrin {

using namespace ply_detail;

namespace {

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
        s = read_count(src, prop.count_type, n);
        if (s == Status::Ok && n < 0) {
          r = {Status::Bad, i, k, kNegativeListLength};
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
        r = {s, i, k, s == Status::Bad ? kNotANumber : ""};
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

}  // namespace

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
    return fail(element_cut_text(e.name, complete, e.count));
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
    return fail(property_cut_text(e.properties[r.property].name, e.name, r.instance));
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
    return fail(property_cut_text(e.properties[r.property].name, e.name, r.instance));
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
  if (r.status == Status::End) return fail(property_cut_text(prop.name, e.name, r.instance));
  if (r.status == Status::Bad) return fail_value(e, prop, r.instance, r.why);
  pos_ = static_cast<size_t>(p - data_);
  ++next_element_;
  return true;
}

}  // namespace Tavrin
