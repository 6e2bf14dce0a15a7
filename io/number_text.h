// Number text for the GiD files: printf's "%.14g" without printf.
//
// The GiD writer formats millions of coordinates and values, all of them
// floats. The general "%.14g" conversion (printf's or std::to_chars's) works
// on the exact binary value with arbitrary precision and costs several
// hundred instructions a number. Here the fourteen digits of a value between
// 1e-30 and 1e14 come from one scaling by a power of ten held as a sum of
// two doubles (about 106 bits, an error far below the rounding step), and
// the rare values whose fifteenth digit sits too close to a half (true ties
// included) go to std::to_chars, as do zero's neighbours, huge values,
// infinities and NaN. The text is therefore exactly "%.14g"'s.
#pragma once

#include <cstdint>

namespace Tavrin {

// Formats like printf("%.14g", v) in the C locale; returns the end of the
// text, at most 24 bytes long. Up to 32 bytes from p may be written (the
// bytes past the end of the text are scratch) and no terminating NUL.
char* format_g14(char* p, double v);

// The decimal text of v, as printf("%llu") gives it; returns the end of the
// text. Up to 20 bytes from p are written (at least 8; those past the text
// are scratch) and no terminating NUL.
char* format_unsigned(char* p, uint64_t v);

}  // namespace Tavrin
