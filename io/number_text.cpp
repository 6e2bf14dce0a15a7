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

// The 7 digits of d < 10^7, leading zeros included.
void seven_digits(uint32_t d, char* out) {
  out[0] = static_cast<char>('0' + d / 1000000);
  d %= 1000000;
  std::memcpy(out + 1, kDigitPairs + 2 * (d / 10000), 2);
  d %= 10000;
  std::memcpy(out + 3, kDigitPairs + 2 * (d / 100), 2);
  std::memcpy(out + 5, kDigitPairs + 2 * (d % 100), 2);
}

// The 14 digits of d (10^13 <= d < 10^14), as two independent halves.
void fourteen_digits(uint64_t d, char* out) {
  seven_digits(static_cast<uint32_t>(d / 10000000), out);
  seven_digits(static_cast<uint32_t>(d % 10000000), out + 7);
}

char* general(char* p, double v) {
  return std::to_chars(p, p + 24, v, std::chars_format::general, 14).ptr;
}

}  // namespace

// Two digits at a time from the end, into a scratch of 20 bytes.
char* format_unsigned(char* p, uint64_t v) {
  char text[20];
  char* end = text + sizeof text;
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
  const size_t n = static_cast<size_t>(end - q);
  std::memcpy(p, q, n);
  return p + n;
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
  char digits[14];
  fourteen_digits(d, digits);
  int last = 13;  // the last digit kept: trailing zeros go
  while (digits[last] == '0') --last;

  if (std::signbit(v)) *p++ = '-';
  if (k >= -4 && k < 14) {  // fixed notation
    if (k >= 0) {
      std::memcpy(p, digits, k + 1);
      p += k + 1;
      if (last > k) {
        *p++ = '.';
        std::memcpy(p, digits + k + 1, last - k);
        p += last - k;
      }
    } else {
      *p++ = '0';
      *p++ = '.';
      for (int i = 0; i < -k - 1; ++i) *p++ = '0';
      std::memcpy(p, digits, last + 1);
      p += last + 1;
    }
    return p;
  }
  *p++ = digits[0];  // exponent notation: k < -4, or 14 after rounding up
  if (last > 0) {
    *p++ = '.';
    std::memcpy(p, digits + 1, last);
    p += last;
  }
  const int x = k < 0 ? -k : k;
  *p++ = 'e';
  *p++ = k < 0 ? '-' : '+';
  std::memcpy(p, kDigitPairs + 2 * x, 2);
  return p + 2;
}

}  // namespace Tavrin
