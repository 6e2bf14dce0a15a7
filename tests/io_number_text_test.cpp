#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "io/number_text.h"
#include "io/ply_reader.h"
#include "tests/test_support.h"

namespace Tavrin {
namespace {

// Counts the values whose text differs from printf's and shows the first few.
struct Compare {
  int64_t checked = 0, differing = 0;
  void operator()(double v) {
    char ours[64], theirs[64];
    *format_g14(ours, v) = '\0';
    std::snprintf(theirs, sizeof theirs, "%.14g", v);
    ++checked;
    if (std::strcmp(ours, theirs) != 0 && ++differing <= 5)
      ADD_FAILURE() << "value " << std::hexfloat << v << ": \"" << ours << "\" against printf's \""
                    << theirs << "\"";
  }
};

double from_bits(uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

TEST(IoNumberText, AwkwardValuesMatchPrintf) {
  Compare check;
  const double awkward[] = {0.0,
                            -0.0,
                            1.0,
                            -1.0,
                            0.1,
                            0.1f,
                            1e-4,
                            9.99999999999995e-5,
                            9.9999999999999e-5,
                            99999999999999.5,  // rounds up to the next power of ten: "1e+14"
                            12345678901234.5,  // an exact tie at the 14th digit: to even
                            12345678901233.5,  // the other way
                            1234567890123.25,
                            0.5,
                            2.5,
                            1e13,
                            1e14,
                            1e15,
                            1e16,
                            1e17,
                            123456789012345678.0,
                            1e-30,
                            1e-31,
                            1e-29,
                            3.4028234663852886e38,
                            -3.4028234663852886e38,
                            std::numeric_limits<double>::denorm_min(),
                            std::numeric_limits<float>::denorm_min(),
                            std::numeric_limits<float>::min(),
                            std::numeric_limits<double>::min(),
                            std::numeric_limits<double>::max(),
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN()};
  for (double v : awkward) {
    check(v);
    check(-v);
  }
  // Both neighbours of every power of ten the fast path and its edges meet.
  for (int e = -40; e <= 20; ++e) {
    const double p = std::pow(10.0, e);
    for (double v : {p, std::nextafter(p, 0.0), std::nextafter(p, 1e300),
                     static_cast<double>(std::nextafter(static_cast<float>(p), 0.0f)),
                     static_cast<double>(std::nextafter(static_cast<float>(p), 1e30f))})
      check(v);
  }
  std::mt19937_64 rng(27);
  for (int i = 0; i < 20000; ++i) {
    check(from_bits(rng() & 0x000FFFFFFFFFFFFFull));                   // subnormal doubles
    check(std::ldexp(static_cast<double>(rng() % (1u << 23)), -149));  // subnormal floats
    check(1e15 + static_cast<double>(rng() % 99000000000000000ull));   // 1e15 .. 1e17
  }
  EXPECT_EQ(check.differing, 0) << "of " << check.checked;
}

TEST(IoNumberText, RandomDoublesAndFloatsMatchPrintf) {
  Compare check;
  std::mt19937_64 rng(14);
  std::uniform_real_distribution<double> exponent(-35.0, 20.0);
  for (int i = 0; i < 200000; ++i) {
    check(from_bits(rng()));  // any double, NaN and infinities included
    const uint32_t bits = static_cast<uint32_t>(rng());
    float f;
    std::memcpy(&f, &bits, sizeof f);
    check(f);                              // any float
    check(std::pow(10.0, exponent(rng)));  // spread over the decades
    check(static_cast<float>(std::pow(10.0, exponent(rng))));
  }
  EXPECT_EQ(check.differing, 0) << "of " << check.checked;
}

// What the writer formats: every coordinate and field value of the meshes
// the project ships.
TEST(IoNumberText, ShippedMeshesMatchPrintf) {
  Compare check;
  const std::filesystem::path dir =
      std::filesystem::path(test::data_path("bunny.ply")).parent_path();
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().extension() == ".ply") files.push_back(entry.path());
  files.push_back(dir / ".." / ".." / "data" / "teapot.ply");
  int read = 0;
  for (const auto& path : files) {
    PlyMesh m;
    if (!read_ply_mesh(path.string(), m)) continue;  // the broken-file samples
    ++read;
    for (const Vec3& p : m.nodes) {
      check(p.x);
      check(p.y);
      check(p.z);
    }
    for (const Scalar& s : m.scalars)
      for (float v : s.values) check(v);
  }
  EXPECT_GE(read, 10);
  EXPECT_EQ(check.differing, 0) << "of " << check.checked;
}

// Node and element numbers: every digit count and its edges, and random ones.
TEST(IoNumberText, UnsignedMatchesPrintf) {
  std::vector<uint64_t> values = {
      0, 1, 9, 10, 99, 100, 2147483647ull, 4294967295ull, std::numeric_limits<uint64_t>::max()};
  for (uint64_t p = 10; p <= 1000000000000000000ull; p *= 10)
    for (uint64_t v : {p - 1, p, p + 1}) values.push_back(v);
  std::mt19937_64 rng(3);
  for (int i = 0; i < 100000; ++i) values.push_back(rng() >> (rng() % 64));
  int differing = 0;
  for (uint64_t v : values) {
    char ours[32], theirs[32];
    *format_unsigned(ours, v) = '\0';
    std::snprintf(theirs, sizeof theirs, "%llu", static_cast<unsigned long long>(v));
    if (std::strcmp(ours, theirs) != 0 && ++differing <= 5)
      ADD_FAILURE() << v << ": \"" << ours << "\"";
  }
  EXPECT_EQ(differing, 0);
}

}  // namespace
}  // namespace Tavrin
