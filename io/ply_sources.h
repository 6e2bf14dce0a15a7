// The two readers of PLY body values that the element walkers are written
// against: ascii tokens and binary values in either byte order, with the
// conversions they share. Internal to the PLY reader (io/ply_*.cpp).
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <system_error>
#include <type_traits>

#include "io/ply_checks.h"
#include "io/ply_file.h"

namespace Tavrin::ply_detail {

inline bool is_integer(PlyType t) { return t != PlyType::Float32 && t != PlyType::Float64; }

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
    case PlyType::Int8:
      return f.template operator()<int8_t>();
    case PlyType::Uint8:
      return f.template operator()<uint8_t>();
    case PlyType::Int16:
      return f.template operator()<int16_t>();
    case PlyType::Uint16:
      return f.template operator()<uint16_t>();
    case PlyType::Int32:
      return f.template operator()<int32_t>();
    case PlyType::Uint32:
      return f.template operator()<uint32_t>();
    case PlyType::Float32:
      return f.template operator()<float>();
    default:
      return f.template operator()<double>();
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

// The two sources below read the values of a body one at a time:
//   Status value(PlyType, double&)   the next value, converted
//   Status skip(PlyType)             past the next value
//   Status skip_entries(PlyType, n)  past n values of one list
//   std::string token_text()         the last token, for messages (ascii only)

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
  Status skip_entries(PlyType type, int64_t n) {
    if (static_cast<uint64_t>(n) > static_cast<uint64_t>(end - p) / ply_type_size(type))
      return Status::End;
    p += n * ply_type_size(type);
    return Status::Ok;
  }
  std::string token_text() const { return std::string(); }
};

// A list count from either source; one beyond the 64-bit range (or not
// finite) cannot be converted and is bad input.
template <class Source>
Status read_count(Source& src, PlyType type, int64_t& n) {
  double v;
  Status s = src.value(type, v);
  return s == Status::Ok ? to_count(v, n) : s;
}

inline bool swap_needed(PlyStorage s) {
  bool big = std::endian::native == std::endian::big;
  return (s == PlyStorage::BinaryBigEndian) != big;
}

}  // namespace Tavrin::ply_detail
