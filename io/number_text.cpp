#include "io/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace Tavrin {

namespace {

// 10^p for p = 0 .. 43 as hi + lo: hi the double nearest 10^p, lo the
// double nearest the rest. 10^p = 5^p * 2^p, and 5^43 fits 128 bits.
struct PowerOfTen {
  double hi, lo;
};
constexpr int kMaxPower = 43;

struct PowersOfTen {
  PowerOfTen p[kMaxPower + 1];
  PowersOfTen() {
    unsigned __int128 five = 1;
    for (int i = 0; i <= kMaxPower; ++i) {
      const double hi = static_cast<double>(five);
      const __int128 rest =
          static_cast<__int128>(five) - static_cast<__int128>(static_cast<unsigned __int128>(hi));
      p[i] = {std::ldexp(hi, i), std::ldexp(static_cast<double>(rest), i)};
      five *= 5;
    }
  }
};
const PowersOfTen kPowers;

const char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The 8 digits of v < 10^8, leading zeros included, as the bytes of one word
// (first digit in the lowest byte): the halves, quarters and single digits
// are split in all lanes at once by multiplying with reciprocals that are
// exact over the lanes' ranges. The digits stay in registers and are stored
// whole, so no store is read back in pieces.
inline uint64_t eight_digits(uint32_t v) {
  uint64_t x = (v / 10000) | (static_cast<uint64_t>(v % 10000) << 32);  // two 4-digit lanes
  uint64_t q = ((x * 10486) >> 20) & 0x0000007F0000007Full;             // lane / 100
  x = q | ((x - 100 * q) << 16);                                        // four 2-digit lanes
  q = ((x * 103) >> 10) & 0x000F000F000F000Full;                        // lane / 10
  x = q | ((x - 10 * q) << 8);                                          // eight digits
  return x + 0x3030303030303030ull;
}

// The 14 digits of d (10^13 <= d < 10^14) in the low 14 bytes, first digit
// lowest; the two top bytes are zero.
inline unsigned __int128 fourteen_digits(uint64_t d) {
  const unsigned __int128 all =
      eight_digits(static_cast<uint32_t>(d / 100000000)) |
      (static_cast<unsigned __int128>(eight_digits(static_cast<uint32_t>(d % 100000000))) << 64);
  return all >> 16;  // d / 10^8 < 10^6: its two leading zeros go
}

inline void store16(char* p, unsigned __int128 text) { std::memcpy(p, &text, 16); }

char* general(char* p, double v) {
  return std::to_chars(p, p + 24, v, std::chars_format::general, 14).ptr;
}

}  // namespace

// Below 10^8 (every node and element number in practice) the eight digits
// come from registers and the leading zeros are shifted out; larger values
// take two digits at a time from the end.
char* format_unsigned(char* p, uint64_t v) {
  if (v < 100000000) {
    const int n = 1 + (v >= 10) + (v >= 100) + (v >= 1000) + (v >= 10000) + (v >= 100000) +
                  (v >= 1000000) + (v >= 10000000);
    const uint64_t text = eight_digits(static_cast<uint32_t>(v)) >> (8 * (8 - n));
    std::memcpy(p, &text, 8);
    return p + n;
  }
  char text[20];
  char* const end = text + sizeof text;
  char* q = end;
  while (v >= 100) {
    q -= 2;
    std::memcpy(q, kDigitPairs + 2 * (v % 100), 2);
    v /= 100;
  }
  if (v >= 10) {
    q -= 2;
    std::memcpy(q, kDigitPairs + 2 * v, 2);
  } else {
    *--q = static_cast<char>('0' + v);
  }
  std::memcpy(p, q, static_cast<size_t>(end - q));
  return p + (end - q);
}

char* format_g14(char* p, double v) {
  const double a = std::fabs(v);
  if (!(a >= 1e-30 && a < 1e14)) {
    if (a != 0) return general(p, v);  // rare: huge, tiny, not finite
    if (std::signbit(v)) *p++ = '-';
    *p = '0';
    return p + 1;
  }
  // y = a * 10^(13 - k) in [10^13, 10^14) for the decimal exponent k of a;
  // k starts from the binary exponent (floor(e2 * log10 2), one low at most).
  uint64_t bits;
  std::memcpy(&bits, &a, sizeof bits);
  const int e2 = static_cast<int>(bits >> 52) - 1023;  // a is normal here
  int k = (e2 * 78913) >> 18;
  double hi = 0, lo = 0;
  for (int tries = 0;; ++tries) {
    const int e = 13 - k;
    if (tries == 3 || e < 0 || e > kMaxPower) return general(p, v);
    const PowerOfTen& t = kPowers.p[e];
    hi = a * t.hi;
    lo = std::fma(a, t.hi, -hi) + a * t.lo;
    if (hi < 1e13 || (hi == 1e13 && lo < 0))
      --k;
    else if (hi > 1e14 || (hi == 1e14 && lo >= 0))
      ++k;
    else
      break;
  }
  // Round to nearest; a fraction too near a half is left to the exact code.
  const double whole = std::floor(hi);
  const double fraction = (hi - whole) + lo;
  if (std::fabs(fraction - 0.5) < 1e-6) return general(p, v);
  uint64_t d = static_cast<uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
  if (d == 100000000000000u) {
    d = 10000000000000u;
    ++k;
  }
  // The digits are stored 16 bytes at a time from registers; what lands
  // past the text is overwritten or unused.
  const unsigned __int128 digits = fourteen_digits(d);
  // The last digit kept: trailing zeros go. Digits less '0' are zero exactly
  // for the zeros (the two empty top bytes are made '0' first).
  const unsigned __int128 ones = ~static_cast<unsigned __int128>(0) / 255;  // 0x0101...01
  const unsigned __int128 value =
      (digits | (static_cast<unsigned __int128>(0x3030) << 112)) - 0x30 * ones;
  const uint64_t high = static_cast<uint64_t>(value >> 64), low = static_cast<uint64_t>(value);
  const int top_bit = high ? 127 - __builtin_clzll(high) : 63 - __builtin_clzll(low);
  const int last = top_bit / 8;  // d >= 10^13, so some digit is not zero
  const char first = static_cast<char>(digits & 0xFF);

  if (std::signbit(v)) *p++ = '-';
  if (k >= -4 && k < 14) {  // fixed notation
    if (k >= 0) {
      store16(p, digits);
      p += k + 1;
      if (last > k) {
        *p++ = '.';
        store16(p, digits >> (8 * (k + 1)));
        p += last - k;
      }
    } else {
      *p++ = '0';
      *p++ = '.';
      for (int i = 0; i < -k - 1; ++i) *p++ = '0';
      store16(p, digits);
      p += last + 1;
    }
    return p;
  }
  *p++ = first;  // exponent notation: k < -4, or 14 after rounding up
  if (last > 0) {
    *p++ = '.';
    store16(p, digits >> 8);
    p += last;
  }
  const int x = k < 0 ? -k : k;
  *p++ = 'e';
  *p++ = k < 0 ? '-' : '+';
  std::memcpy(p, kDigitPairs + 2 * x, 2);
  return p + 2;
}

}  // namespace Tavrin
